#include "app/ConfigFile.h"
#include "app/LayoutConfig.h"
#include "app/LayoutEdits.h"
#include "common/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "tst_config.h"

namespace {

app::WorkingState loaded(const QString& text) {
    QTemporaryDir dir;
    const QString path = putFile(dir, "orvant2.cfg", text.toUtf8());
    app::WorkingState s;
    app::loadLayout(app::ConfigFile(path).read(), s);
    return s;
}

QString ranges(const app::ControllerLayout& l) {
    QStringList out;
    for (int i = 0; i < app::kControllerSlots; ++i)
        if (l.isPresent(i))
            out << QStringLiteral("%1:%2+%3")
                       .arg(i)
                       .arg(l.ControllerTable[i].firstSensorAddress)
                       .arg(l.ControllerTable[i].sensorCount);
    return out.join(QLatin1Char(' '));
}

} // namespace

void TestConfig::loadLayout_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("controllers");
    QTest::addColumn<int>("lowest");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("selected");

    QTest::newRow("type 3, controllers 0 and 2") << "KIP_TYP=3\nKIP_NUM=2,5\nKIP1=0,4\nKIP3=8,4\n"
                                                 << 3 << "0:0+4 2:8+4" << 0 << 12 << 0x80;
    QTest::newRow("KIP3 missing") << "KIP_TYP=3\r\nKIP_NUM=2,5\r\nKIP1=0,4\r\n"
                                  << 3 << "0:0+4 2:0+0" << 0 << 4 << 0x80;
    QTest::newRow("KIP1 without comma") << "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=4\n"
                                        << 1 << "0:0+4" << 0 << 4 << 0x80;
    QTest::newRow("count missing takes the type's") << "KIP_TYP=0\nKIP_NUM=1,2\nKIP2=20,\n"
                                                    << 0 << "1:20+16" << 20 << 36 << 0x81;
    QTest::newRow("KIP_TYP missing") << "KIP_NUM=1,1\nKIP1=0,12\n"
                                     << 1 << "0:0+12" << 0 << 12 << 0x80;
    QTest::newRow("KIP_TYP not a number") << "KIP_TYP=abc\n" << 1 << "0:0+12" << 0 << 12 << 0xFF;
    QTest::newRow("KIP_NUM empty") << "KIP_TYP=4\nKIP_NUM=\n" << 4 << "0:0+2" << 0 << 2 << 0xFF;
    QTest::newRow("mask without count selects none")
        << "KIP_TYP=1\nKIP_NUM=6\nKIP2=12,12\nKIP3=24,12\n"
        << 1 << "1:12+12 2:24+12" << 12 << 36 << 0xFF;
    QTest::newRow("malformed mask") << "KIP_NUM=2,x\n" << 1 << "" << 0 << 0 << 0xFF;
    QTest::newRow("range beyond 127 clamped") << "KIP_NUM=1,1\nKIP1=120,40\n"
                                              << 1 << "0:120+8" << 120 << 128 << 0x80;
    QTest::newRow("direct sensors") << "KIP_TYP=2\nKIP_NUM=0,1\nKIP_B=5,3\n"
                                    << 2 << "0:5+3" << 5 << 8 << 0xFF;
    QTest::newRow("direct sensors, no KIP_B") << "KIP_TYP=2\n"
                                              << 2 << "0:0+128" << 0 << 128 << 0xFF;
    QTest::newRow("no controller") << "KIP_TYP=5\nKIP_NUM=3,7\n"
                                   << 5 << "0:0+1" << 0 << 128 << 0xFF;
}

void TestConfig::loadLayout() {
    QFETCH(QString, file);
    QFETCH(int, type);
    QFETCH(QString, controllers);
    QFETCH(int, lowest);
    QFETCH(int, end);
    QFETCH(int, selected);
    const app::WorkingState s = loaded(file);
    QCOMPARE(s.layout.controllerType, type);
    QCOMPARE(ranges(s.layout), controllers);
    QCOMPARE(s.layout.lowestSensorAddress, lowest);
    QCOMPARE(s.layout.sensorAddressEnd, end);
    QCOMPARE(int(s.selectedControllerAddress), selected);
}

void TestConfig::typeChange_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("end");
    QTest::newRow("0") << 0 << 16 << 16;
    QTest::newRow("1") << 1 << 12 << 12;
    QTest::newRow("2") << 2 << 1 << 128;
    QTest::newRow("3") << 3 << 4 << 4;
    QTest::newRow("4") << 4 << 2 << 2;
    QTest::newRow("5") << 5 << 1 << 128;
}

void TestConfig::typeChange() {
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, end);
    app::WorkingState s = loaded(QStringLiteral("KIP_TYP=3\nKIP_NUM=2,5\nKIP1=0,4\nKIP3=8,4\n"));
    app::changeControllerType(s, type);
    QCOMPARE(ranges(s.layout), QStringLiteral("0:0+%1").arg(count));
    QCOMPARE(s.layout.sensorAddressEnd, end);
    QCOMPARE(s.layout.controllersFound, 0);
    QCOMPARE(int(s.selectedControllerAddress), 0xFF);
}

void TestConfig::saveKeepsOtherKeys() {
    QTemporaryDir dir;
    app::ConfigFile cfg(dir.filePath(QStringLiteral("orvant2.cfg")));
    QVERIFY(cfg.write({{QStringLiteral("MAIN_FILE"), QStringLiteral("C:\\fw\\main v2.hex")},
                       {QStringLiteral("KIP_B"), QStringLiteral("1,2")},
                       {QStringLiteral("MAIN_PORT"), QStringLiteral("3")}}));
    app::WorkingState s = loaded(QStringLiteral("KIP_TYP=3\nKIP_NUM=2,5\nKIP1=0,4\nKIP3=8,4\n"));
    QVERIFY(cfg.write(app::layoutKeys(s.layout)));
    QCOMPARE(fileBytes(cfg.path()),
             QByteArray("MAIN_FILE=C:\\fw\\main v2.hex\r\nKIP_B=\r\nMAIN_PORT=3\r\nKIP_TYP=3\r\n"
                        "KIP_NUM=2,5\r\nKIP1=0,4\r\nKIP3=8,4\r\n"));
    // And it reads back to the same layout.
    app::WorkingState back;
    app::loadLayout(cfg.read(), back);
    QCOMPARE(ranges(back.layout), ranges(s.layout));
}

void TestConfig::portValues_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("port");
    QTest::newRow("COM number") << "3"
                                << "/dev/ttyS2";
    QTest::newRow("zero is none") << "0"
                                  << "";
    QTest::newRow("device path") << "/dev/ttyUSB0"
                                 << "/dev/ttyUSB0";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("remote line") << "rfc2217://10.0.0.7:2217"
                                 << "rfc2217://10.0.0.7:2217";
}

void TestConfig::portValues() {
    QFETCH(QString, value);
    QFETCH(QString, port);
    QCOMPARE(app::portFromConfig(value), port);
}

void TestConfig::readsOldCodePage() {
    QTemporaryDir dir;
    // "ПРОШИВКА" in CP1251
    const QString path =
        putFile(dir, "old.cfg", "MAIN_FILE=C:\\\xCF\xD0\xCE\xD8\xC8\xC2\xCA\xC0\\kip.hex\r\n");
    QCOMPARE(app::ConfigFile::value(app::ConfigFile(path).read(), QStringLiteral("MAIN_FILE")),
             QStringLiteral("C:\\ПРОШИВКА\\kip.hex"));
}

// An engineer's file: a UTF-8 path, a CP1251 comment, a line without "=",
// a duplicate key, LF or CR LF line ends, no end at the last line. Only the
// line of the key set changes.
void TestConfig::linesNotOwnedSurvive_data() {
    QTest::addColumn<QByteArray>("end");
    QTest::newRow("LF") << QByteArray("\n");
    QTest::newRow("CR LF") << QByteArray("\r\n");
}

void TestConfig::linesNotOwnedSurvive() {
    QFETCH(QByteArray, end);
    const QByteArray head = "; \xEF\xE5\xF0\xE2\xFB\xE9 \xEA\xE8\xEF" + end + // CP1251 comment
                            "MAIN_FILE=/home/u/Прошивки/kip.hex" + end + "just words" + end +
                            "MAIN_PORT=/dev/ttyS0" + end + "KIP_TYP=1" + end;
    const QByteArray tail = "KIP_TYP=3";
    QTemporaryDir dir;
    const QString path = putFile(dir, "orvant2.cfg", head + tail);
    app::ConfigFile cfg(path);
    QCOMPARE(app::ConfigFile::value(cfg.read(), QStringLiteral("MAIN_FILE")),
             QStringLiteral("/home/u/Прошивки/kip.hex"));
    QCOMPARE(app::ConfigFile::value(cfg.read(), QStringLiteral("KIP_TYP")), QStringLiteral("3"));
    QVERIFY(cfg.write({{QStringLiteral("MAIN_PORT"), QStringLiteral("/dev/ttyUSB0")},
                       {QStringLiteral("SLAVE_PORT"), QStringLiteral("/dev/ttyUSB1")}}));
    QByteArray want = head + tail + end + "SLAVE_PORT=/dev/ttyUSB1" + end;
    want.replace("MAIN_PORT=/dev/ttyS0", "MAIN_PORT=/dev/ttyUSB0");
    QCOMPARE(fileBytes(path), want);
}

void TestConfig::unchangedValuesWriteNothing() {
    QTemporaryDir dir;
    const QString path = putFile(dir, "orvant2.cfg", "MAIN_PORT=/dev/ttyS0\n# mine\n");
    const QDateTime before = QFileInfo(path).lastModified();
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    // A read-only file with the same value: nothing to write, no failure.
    QVERIFY(
        app::ConfigFile(path).write({{QStringLiteral("MAIN_PORT"), QStringLiteral("/dev/ttyS0")}}));
    QCOMPARE(fileBytes(path), QByteArray("MAIN_PORT=/dev/ttyS0\n# mine\n"));
    QCOMPARE(QFileInfo(path).lastModified(), before);
}

// The program's folder cannot be written: the file beside the program is
// read, and the first write copies it whole to the user's folder. Root
// writes anywhere, so then the check runs as "nobody" in a child.
void TestConfig::readOnlyFolderKeepsTheLayout() {
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFileDevice::ReadOther | QFileDevice::WriteOther |
                                          QFileDevice::ExeOther | QFileDevice::ReadOwner |
                                          QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir().mkpath(dir.filePath(QStringLiteral("prog")));
    const QString beside = putFile(dir, "prog/orvant2.cfg", "KIP_TYP=3\nKIP_NUM=1,1\nKIP1=0,4\n");
    QFile::setPermissions(beside, QFileDevice::ReadOwner | QFileDevice::ReadOther);
    QFile::setPermissions(dir.filePath(QStringLiteral("prog")),
                          QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther |
                              QFileDevice::ExeOther);
    const QString user = dir.filePath(QStringLiteral("user/orvant2.cfg"));
    // 0 when all held; else the number of the check that failed.
    auto checks = [&]() -> int {
        app::ConfigFile cfg(beside, user);
        if (cfg.path() != beside)
            return 1;
        if (app::ConfigFile::value(cfg.read(), QStringLiteral("KIP_TYP")) != QLatin1String("3"))
            return 2;
        if (!cfg.write({{QStringLiteral("MAIN_PORT"), QStringLiteral("/dev/ttyUSB0")}}))
            return 3;
        if (cfg.path() != user)
            return 4;
        if (fileBytes(user) != "KIP_TYP=3\nKIP_NUM=1,1\nKIP1=0,4\nMAIN_PORT=/dev/ttyUSB0\n")
            return 5;
        if (fileBytes(beside) != "KIP_TYP=3\nKIP_NUM=1,1\nKIP1=0,4\n")
            return 6;
        return 0;
    };
    if (::geteuid() != 0) {
        QCOMPARE(checks(), 0);
        return;
    }
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(dropped ? checks() : 99);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void TestConfig::killedWriterLeavesAWholeFile() {
    QTemporaryDir dir;
    app::ConfigFile cfg(dir.filePath(QStringLiteral("orvant2.cfg")));
    const QString big(20000, QLatin1Char('x'));
    QVERIFY(cfg.write(
        {{QStringLiteral("MAIN_PORT"), QStringLiteral("1")}, {QStringLiteral("PAD"), big}}));
    for (int round = 0; round < 20; ++round) {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                cfg.write({{QStringLiteral("MAIN_PORT"), QString::number(i % 200 + 1)},
                           {QStringLiteral("PAD"), big}});
        }
        ::usleep(1000 + 1500 * round);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const app::ConfigEntries e = cfg.read();
        QCOMPARE(app::ConfigFile::value(e, QStringLiteral("PAD")), big);
        QVERIFY(app::configInt(app::ConfigFile::value(e, QStringLiteral("MAIN_PORT")), 0) > 0);
    }
}

void TestConfig::pathBesideProgram() {
    QCOMPARE(app::ConfigFile::pathBesideProgram(QStringLiteral("/opt/orvant/orvant2")),
             QStringLiteral("/opt/orvant/orvant2.cfg"));
    QCOMPARE(app::ConfigFile::pathBesideProgram(QStringLiteral("C:/ORVANT/Orvant2.exe")),
             QStringLiteral("C:/ORVANT/Orvant2.cfg"));
}

void TestConfig::installedProgramKeepsItsFileInTheUserFolder() {
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("bin")));
    const QString program = dir.filePath(QStringLiteral("bin/orvant2"));
    const app::ConfigFile installed = app::ConfigFile::forProgram(program, true);
    QVERIFY(installed.path().endsWith(QLatin1String("/orvant2.cfg")));
    QVERIFY(!installed.path().startsWith(dir.path()));
    // A file already beside the program still wins.
    putFile(dir, "bin/orvant2.cfg", "KIP_TYP=3\n");
    QCOMPARE(app::ConfigFile::forProgram(program, true).path(),
             dir.filePath(QStringLiteral("bin/orvant2.cfg")));
    QCOMPARE(app::ConfigFile::forProgram(program, false).path(),
             dir.filePath(QStringLiteral("bin/orvant2.cfg")));
}

void TestConfig::movedControllerTakesItsRange() {
    app::ControllerLayout l;
    l.controllerType = app::TypeN6;
    l.ControllerTable[0] = {0, 4};
    l.ControllerTable[1] = {4, 8};
    l.selectedControllers = 0b11;
    app::moveController(l, 0, 3);
    QCOMPARE(l.ControllerTable[3].firstSensorAddress, 0);
    QCOMPARE(l.ControllerTable[3].sensorCount, 4);
    QCOMPARE(l.ControllerTable[0].sensorCount, 0);
    QCOMPARE(l.selectedControllers, quint32(0b1010));
}

void TestConfig::rebuildAfterRangeEdits() {
    app::ControllerLayout l;
    l.ControllerTable.fill({});
    l.ControllerTable[2] = {10, 6};
    l.ControllerTable[5] = {3, 4};
    QCOMPARE(app::rebuildLayout(l), std::optional<int>(2));
    QCOMPARE(l.controllersFound, 2);
    QCOMPARE(l.selectedControllers, quint32((1u << 2) | (1u << 5)));
    QCOMPARE(l.lowestSensorAddress, 3);
    QCOMPARE(l.sensorAddressEnd, 16);
    // Nothing left: lowest and end stay as they were.
    l.ControllerTable.fill({});
    QCOMPARE(app::rebuildLayout(l), std::nullopt);
    QCOMPARE(l.sensorAddressEnd, 16);
    QCOMPARE(l.selectedControllers, quint32(0));
}

void TestConfig::dialogRows_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("found");
    QTest::addColumn<QStringList>("second");
    QTest::newRow("N6 found") << 1 << 2 << QStringList{"2", "4", "8", "5", "12"};
    QTest::newRow("N6 from defaults") << 1 << 0 << QStringList{"2", "", "8", "5", "12"};
    QTest::newRow("C7 channels") << 4 << 2 << QStringList{"2", "4", "5", "4"};
}

void TestConfig::dialogRows() {
    QFETCH(int, type);
    QFETCH(int, found);
    QFETCH(QStringList, second);
    app::ControllerLayout l;
    l.controllerType = type;
    l.controllersFound = found;
    l.ControllerTable[0] = {0, 4};
    l.ControllerTable[3] = {4, 8};
    l.selectedControllers = 0b1001;
    const auto rows = app::layoutRows(l);
    QCOMPARE(rows.size(), std::size_t(2));
    QCOMPARE(rows[1], second);
}

void TestConfig::directRangeFields_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("count");
    QTest::newRow("1..4") << "1"
                          << "4" << true << 0 << 4;
    QTest::newRow("5..5") << "5"
                          << "5" << true << 4 << 1;
    QTest::newRow("not a number") << "x"
                                  << "4" << false << 0 << 128;
    QTest::newRow("last empty") << "1"
                                << "" << false << 0 << 128;
    QTest::newRow("ends before it starts") << "6"
                                           << "3" << false << 0 << 128;
    QTest::newRow("past the addresses") << "120"
                                        << "300" << true << 119 << 9;
}

void TestConfig::directRangeFields() {
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(bool, taken);
    QFETCH(int, address);
    QFETCH(int, count);
    app::ControllerLayout l;
    l.controllerType = app::TypeDirect;
    l.ControllerTable[0] = {0, 128};
    QCOMPARE(app::setDirectRange(l, first, last), taken);
    QCOMPARE(l.ControllerTable[0].firstSensorAddress, address);
    QCOMPARE(l.ControllerTable[0].sensorCount, count);
    if (taken)
        QCOMPARE(l.sensorAddressEnd, address + count);
}
