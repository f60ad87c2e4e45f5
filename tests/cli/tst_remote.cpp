#include "cli/tst_remote.h"

#include "cli/CliRun.h"
#include "common/BlackHole.h"
#include "common/TestFiles.h"
#include "link/TcpPortDevice.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Whether something listens on the loopback port, seen from the kernel's
// table: a trial connection would make ser2net hold the device for a while
// and turn the next client away.
bool listening(quint16 port) {
    const QByteArray table = fileBytes(QStringLiteral("/proc/net/tcp"));
    const QByteArray local =
        "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() > 3 && f[1] == local && f[3] == "0A")
            return true;
    }
    return false;
}

// orvant2-sim on a pseudo-terminal with ser2net in front of it: a raw
// accepter and an RFC 2217 accepter on free loopback ports. Both are
// stopped when the test ends, whatever it checked.
struct RemoteLine {
    RemoteLine(const QTemporaryDir& dir, const QString& scenario, const char* serialParams)
        : sim(dir, scenario) {
        if (!sim.started)
            return;
        device = QFileInfo(sim.tty).canonicalFilePath();
        rawPort = refusingPort();
        telnetPort = refusingPort();
        const QByteArray connector =
            "  connector: serialdev," + device.toUtf8() + "," + serialParams + ",local\n";
        const QString config = putFile(
            dir, "ser2net.yaml",
            "connection: &raw\n  accepter: tcp,127.0.0.1," + QByteArray::number(rawPort) + "\n" +
                connector + "connection: &rfc2217\n  accepter: telnet(rfc2217),tcp,127.0.0.1," +
                QByteArray::number(telnetPort) + "\n" + connector);
        ser2net.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        ser2net.start(QStringLiteral("ser2net"),
                      {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-c"), config});
        if (!ser2net.waitForStarted())
            return;
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && ser2net.state() == QProcess::Running) {
            if (listening(rawPort) && listening(telnetPort)) {
                started = true;
                return;
            }
            QTest::qWait(50);
        }
    }
    ~RemoteLine() { stopFarEnd(); }
    // Whether ser2net has the device open: it keeps it a while after a
    // client leaves, and turns the next one away meanwhile.
    bool holdsDevice() const {
        const QString fds = QStringLiteral("/proc/%1/fd").arg(ser2net.processId());
        const QDir dir(fds);
        for (const QString& fd : dir.entryList(QDir::Files | QDir::System))
            if (QFileInfo(dir.filePath(fd)).symLinkTarget() == device)
                return true;
        return false;
    }
    void stopFarEnd() {
        if (ser2net.state() != QProcess::NotRunning) {
            ser2net.kill();
            ser2net.waitForFinished(5000);
        }
    }
    QString url(const QString& transport) const {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(transport)
            .arg(transport == QLatin1String("tcp") ? rawPort : telnetPort);
    }

    Simulator sim;
    QString device;
    QProcess ser2net;
    quint16 rawPort = 0;
    quint16 telnetPort = 0;
    bool started = false;
};

// The frames of a --trace: requests and answers without their times.
QStringList frames(const QString& trace) {
    static const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} ([<>] )"));
    QStringList out;
    for (const QString& line : trace.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = time.match(line);
        if (m.hasMatch())
            out.append(line.mid(m.capturedStart(1)));
    }
    return out;
}

speed_t speedOf(const QString& device) {
    const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    const bool ok = fd >= 0 && tcgetattr(fd, &t) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok ? cfgetospeed(&t) : B0;
}

bool setSpeed(const QString& device, speed_t speed) {
    const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    bool ok = fd >= 0 && tcgetattr(fd, &t) == 0;
    ok = ok && cfsetspeed(&t, speed) == 0 && tcsetattr(fd, TCSANOW, &t) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

const char* const kLine = "type 1\ncontroller 1 4 4\ncontroller 3 12 4\n";

void addTransports() {
    QTest::addColumn<QString>("transport");
    QTest::newRow("raw") << QStringLiteral("tcp");
    QTest::newRow("rfc2217") << QStringLiteral("rfc2217");
}

} // namespace

void TestRemoteLines::init() {
    if (QStandardPaths::findExecutable(QStringLiteral("ser2net")).isEmpty())
        QSKIP("ser2net is not installed");
}

void TestRemoteLines::sameAsDirect_data() {
    addTransports();
}

// Two identical installations, one direct and one behind ser2net, asked
// the same at the same time: the same frames go out, the same answers and
// results come back. The scan's layout serves the runs after it.
void TestRemoteLines::sameAsDirect() {
    QFETCH(QString, transport);
    QTemporaryDir directDir;
    QTemporaryDir remoteDir;
    const QString config = directDir.filePath(QStringLiteral("o.cfg"));
    const QByteArray table = tableText();
    const QString tableFile = putFile(directDir, "t.vlm", table);
    Simulator direct(directDir, putFile(directDir, "line.txt", kLine));
    RemoteLine remote(remoteDir, putFile(remoteDir, "line.txt", kLine), "9600n81");
    QVERIFY(direct.started);
    QVERIFY(remote.started);
    const QList<QStringList> runs{
        {"scan"},
        {"status"},
        {"sensor", "6", "set", "level-correction=-12.5", "counter=40", "section-8=1.25"},
        {"sensor", "6", "get"},
        {"sensor", "14", "get"},
        {"tables", "2", "write", "6=" + tableFile},
        {"tables", "2", "list"},
        {"status"}};
    for (const QStringList& args : runs) {
        const bool scan = args.first() == QLatin1String("scan");
        QStringList options{QStringLiteral("--trace")};
        if (!scan)
            options << QStringLiteral("--config") << config;
        // A client that comes while ser2net still closes the device after
        // the last one is turned away, as a second engineer would be.
        QTRY_VERIFY_WITH_TIMEOUT(!remote.holdsDevice(), 30000);
        QProcess nearCli;
        QProcess farCli;
        nearCli.start(QStringLiteral(ORVANT_CLI_BIN),
                      QStringList{QStringLiteral("--port"), direct.tty} + options + args);
        farCli.start(QStringLiteral(ORVANT_CLI_BIN),
                     QStringList{QStringLiteral("--port"), remote.url(transport)} + options + args);
        QVERIFY(nearCli.waitForFinished(60000));
        QVERIFY(farCli.waitForFinished(60000));
        const QString nearOut = QString::fromUtf8(nearCli.readAllStandardOutput());
        const QString nearErr = QString::fromUtf8(nearCli.readAllStandardError());
        const QString farErr = QString::fromUtf8(farCli.readAllStandardError());
        QVERIFY2(nearCli.exitCode() == 0, qPrintable(nearErr));
        QVERIFY2(farCli.exitCode() == 0, qPrintable(farErr));
        QVERIFY(!nearOut.isEmpty());
        QCOMPARE(QString::fromUtf8(farCli.readAllStandardOutput()), nearOut);
        QCOMPARE(frames(farErr), frames(nearErr));
        if (scan)
            putFile(directDir, "o.cfg", nearOut.toUtf8());
    }
}

void TestRemoteLines::farPortSettings_data() {
    QTest::addColumn<QString>("transport");
    QTest::addColumn<int>("speed");
    // ser2net opens the port as configured (19200 here); only RFC 2217
    // brings it to the line's 9600.
    QTest::newRow("raw keeps the far end's") << QStringLiteral("tcp") << int(B19200);
    QTest::newRow("rfc2217 sets 9600") << QStringLiteral("rfc2217") << int(B9600);
}

void TestRemoteLines::farPortSettings() {
    QFETCH(QString, transport);
    QFETCH(int, speed);
    QTemporaryDir dir;
    RemoteLine remote(dir, putFile(dir, "line.txt", kLine), "19200n81");
    QVERIFY(remote.started);
    QVERIFY(setSpeed(remote.device, B4800));
    bus::PortOpenError error;
    const auto port = bus::TcpPortDevice::open(remote.url(transport), error, {});
    QVERIFY2(port, qPrintable(error.text()));
    // Generous: ser2net on a loaded machine may take its time, and the
    // check is what it set, not how fast.
    const QDeadlineTimer deadline(30000);
    while (speedOf(remote.device) != static_cast<speed_t>(speed) && !deadline.hasExpired() &&
           port->isOpen()) {
        // Read as the link reads, so that the far end's telnet is answered.
        char sink[64];
        port->read(sink, sizeof sink);
        port->waitForActivity(10);
    }
    QCOMPARE(int(speedOf(remote.device)), speed);
}

void TestRemoteLines::farEndKilledMidScan_data() {
    addTransports();
}

// As a pulled adapter: ser2net goes away in the middle of a 32-address scan.
void TestRemoteLines::farEndKilledMidScan() {
    QFETCH(QString, transport);
    QTemporaryDir dir;
    RemoteLine remote(dir, putFile(dir, "line.txt", "type 3\ncontroller 0 0 4\n"), "9600n81");
    QVERIFY(remote.started);
    QProcess cli;
    cli.start(QStringLiteral(ORVANT_CLI_BIN),
              {QStringLiteral("--port"), remote.url(transport), QStringLiteral("--type"),
               QStringLiteral("3"), QStringLiteral("--trace"), QStringLiteral("scan")});
    QVERIFY(cli.waitForStarted());
    // Stopped once the scan is under way (its third request is out), however
    // long the start took; the 32 addresses take far longer than that.
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += cli.readAllStandardError()).count(" > ") >= 3 ||
                                 cli.state() != QProcess::Running,
                             30000);
    QCOMPARE(cli.state(), QProcess::Running);
    remote.stopFarEnd();
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 1);
    err += cli.readAllStandardError();
    QVERIFY2(QString::fromUtf8(err).contains(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ.")),
             err.constData());
    QVERIFY(cli.readAllStandardOutput().isEmpty()); // no layout is claimed
}

void TestRemoteLines::farEndThatNeverAnswers_data() {
    QTest::addColumn<QString>("transport");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    // Raw: the requests go out and nothing comes back, as on a silent line.
    QTest::newRow("raw") << QStringLiteral("tcp") << 1 << QStringLiteral("НЕТ ОТВЕТА");
    // Telnet: the option is never agreed, so the port does not open.
    QTest::newRow("rfc2217") << QStringLiteral("rfc2217") << 2
                             << QStringLiteral("нет ответа на согласование RFC 2217");
}

// A listener that takes the connection and never says a word.
void TestRemoteLines::farEndThatNeverAnswers() {
    QFETCH(QString, transport);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTcpServer mute;
    QVERIFY(mute.listen(QHostAddress::LocalHost, 0));
    const Run r = runCli({QStringLiteral("--port"),
                          QStringLiteral("%1://127.0.0.1:%2").arg(transport).arg(mute.serverPort()),
                          QStringLiteral("scan")});
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
}

void TestRemoteLines::unreachableFarEnd_data() {
    QTest::addColumn<QString>("transport");
    QTest::addColumn<bool>("blackHole"); // else nobody listens there
    QTest::addColumn<QString>("reason");
    for (const char* transport : {"tcp", "rfc2217"}) {
        QTest::addRow("%s, refused", transport)
            << QString::fromLatin1(transport) << false << QStringLiteral("соединение отвергнуто");
        QTest::addRow("%s, no answer", transport)
            << QString::fromLatin1(transport) << true << QStringLiteral("нет ответа за 3 с");
    }
}

// A far end that refuses, or swallows the connect as a switched-off host:
// a port that cannot be opened, said as such, not a hang.
void TestRemoteLines::unreachableFarEnd() {
    QFETCH(QString, transport);
    QFETCH(bool, blackHole);
    QFETCH(QString, reason);
    BlackHole hole;
    if (blackHole && !hole.ready())
        QSKIP("the loopback listener's queue cannot be filled here");
    const QString url =
        blackHole ? hole.url(transport)
                  : QStringLiteral("%1://127.0.0.1:%2").arg(transport).arg(refusingPort());
    const QString where = url.mid(url.indexOf(QLatin1String("://")) + 3);
    const Run r = runCli({QStringLiteral("--port"), url, QStringLiteral("scan")});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(QStringLiteral("НЕТ СОЕДИНЕНИЯ С %1: %2").arg(where, reason)),
             qPrintable(r.err));
    // Said in the engineer's words, not again in the system's English.
    const QString said = r.err.mid(r.err.indexOf(QStringLiteral("НЕТ СОЕДИНЕНИЯ")));
    QVERIFY2(!said.contains(QRegularExpression(QStringLiteral("[A-Za-z]{4,}"))), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
}
