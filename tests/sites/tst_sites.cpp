#include "app/LayoutConfig.h"
#include "common/TestMain.h"
#include "sites/SitesFile.h"

#include <QTemporaryDir>
#include <QtTest>

using sites::parseSites;

class TestSites : public QObject {
    Q_OBJECT
  private slots:
    void readsSites();
    void refusesWithLineNumbers_data();
    void refusesWithLineNumbers();
    void layoutOfSite();
    void unreadableFile();
};

// Two sites, a comment, a blank line, Cyrillic names, CR LF and a BOM.
void TestSites::readsSites() {
    const QByteArray text = "\xEF\xBB\xBF# объекты компании\r\n"
                            "[Нефтебаза 3]\r\n"
                            "line=tcp://10.1.2.3:4001\r\n"
                            "every=60\r\n"
                            "KIP_TYP=1\r\n"
                            "KIP_NUM=1,1\r\n"
                            "KIP_B=\r\n"
                            "KIP1=0,16\r\n"
                            "\r\n"
                            "[АЗС №7]\n"
                            "line = /dev/ttyUSB0\n"
                            "KIP_TYP=5\n"
                            "[Старая]\n"
                            "line=2\n"
                            "every=3600\n";
    QString error;
    const auto file = parseSites(text, QStringLiteral("s.cfg"), &error);
    QVERIFY2(file, qPrintable(error));
    QCOMPARE(file->sites.size(), std::size_t(3));
    const sites::Site& a = file->sites[0];
    QCOMPARE(a.name, QStringLiteral("Нефтебаза 3"));
    QCOMPARE(a.line, QStringLiteral("tcp://10.1.2.3:4001"));
    QCOMPARE(a.everySeconds, 60);
    QCOMPARE(a.lineNumber, 2);
    QCOMPARE(a.entries.size(), std::size_t(4));
    QCOMPARE(app::ConfigFile::value(a.entries, QStringLiteral("KIP1")), QStringLiteral("0,16"));
    const sites::Site& b = file->sites[1];
    QCOMPARE(b.name, QStringLiteral("АЗС №7"));
    QCOMPARE(b.line, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(b.everySeconds, sites::kDefaultEverySeconds);
    // A bare number is a COM number, as in the configuration file.
    QCOMPARE(file->sites[2].line, QStringLiteral("/dev/ttyS1"));
    QCOMPARE(file->sites[2].everySeconds, 3600);
    QVERIFY(file->find(QStringLiteral("АЗС №7")) == &file->sites[1]);
    QVERIFY(!file->find(QStringLiteral("АЗС")));
    // No sites at all is a file, not an error.
    QVERIFY(parseSites("# пусто\n", QStringLiteral("s.cfg"), &error));
}

void TestSites::refusesWithLineNumbers_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    const QByteArray ok = "[A]\nline=/dev/ttyS0\n";
    QTest::newRow("key before any site") << QByteArray("KIP_TYP=1\n[A]\nline=x\n")
                                         << "s.cfg: строка 1: KIP_TYP до первого [ИМЯ] объекта";
    QTest::newRow("no line") << QByteArray("[A]\nKIP_TYP=1\n[B]\nline=x\n")
                             << "s.cfg: строка 1: у объекта \"A\" нет строки line=";
    QTest::newRow("same name twice") << ok + "[A]\nline=y\n"
                                     << "s.cfg: строка 3: объект \"A\" уже есть в строке 1";
    QTest::newRow("empty name") << QByteArray("[ ]\n") << "s.cfg: строка 1: пустое имя объекта";
    QTest::newRow("unclosed header")
        << QByteArray("[A\nline=x\n") << "s.cfg: строка 1: нет \"]\" после имени объекта";
    QTest::newRow("unknown key")
        << ok + "MAIN_PORT=3\n"
        << "s.cfg: строка 3: неизвестный ключ MAIN_PORT (бывают line=, every= и KIP_TYP, "
           "KIP_NUM, KIP_B, KIP1..KIP32)";
    QTest::newRow("controller 33") << ok + "KIP33=0,4\n"
                                   << "s.cfg: строка 3: неизвестный ключ KIP33 (бывают line=, "
                                      "every= и KIP_TYP, KIP_NUM, KIP_B, KIP1..KIP32)";
    QTest::newRow("no equals sign") << ok + "KIP_TYP 1\n"
                                    << "s.cfg: строка 3: нужно [ИМЯ] или КЛЮЧ=ЗНАЧЕНИЕ";
    QTest::newRow("key twice") << ok + "every=5\nevery=6\n"
                               << "s.cfg: строка 4: every второй раз у объекта \"A\"";
    QTest::newRow("every zero") << ok + "every=0\n"
                                << "s.cfg: строка 3: every: нужно число секунд от 1 до 86400";
    QTest::newRow("every words") << ok + "every=minute\n"
                                 << "s.cfg: строка 3: every: нужно число секунд от 1 до 86400";
    QTest::newRow("type 6") << ok + "KIP_TYP=6\n"
                            << "s.cfg: строка 3: KIP_TYP: нужен тип КИП 0..5";
    QTest::newRow("controllers mask") << ok + "KIP_NUM=1,x\n"
                                      << "s.cfg: строка 3: KIP_NUM: нужно \"найдено,маска\"";
    QTest::newRow("sensor range") << ok + "KIP1=0,200\n"
                                  << "s.cfg: строка 3: KIP1: нужно \"первый адрес,число датчиков\"";
    QTest::newRow("direct range") << ok + "KIP_B=a\n"
                                  << "s.cfg: строка 3: KIP_B: нужно \"первый адрес,число "
                                     "датчиков\" или пусто";
    QTest::newRow("remote without port")
        << QByteArray("[A]\nline=tcp://host\n")
        << "s.cfg: строка 2: line: нужен адрес вида tcp://HOST:PORT или rfc2217://HOST:PORT";
    QTest::newRow("empty line") << QByteArray("[A]\nline=\n")
                                << "s.cfg: строка 2: line: не задана линия";
    QTest::newRow("not UTF-8") << QByteArray("[\xCD\xE5\xF4\xF2\xFC]\nline=x\n")
                               << "s.cfg: строка 1: текст не в UTF-8";
    // Every fault is told, each with its line.
    QTest::newRow("two faults") << QByteArray("[A]\nevery=0\nline=x\nKIP_TYP=9\n")
                                << "s.cfg: строка 2: every: нужно число секунд от 1 до 86400\n"
                                   "s.cfg: строка 4: KIP_TYP: нужен тип КИП 0..5";
}

void TestSites::refusesWithLineNumbers() {
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    QString said;
    QVERIFY(!parseSites(text, QStringLiteral("s.cfg"), &said));
    QCOMPARE(said, error);
}

// A site's lines make the same layout as the configuration file would.
void TestSites::layoutOfSite() {
    QString error;
    const auto file = parseSites("[A]\nline=tcp://127.0.0.1:1\nKIP_TYP=3\nKIP_NUM=2,5\n"
                                 "KIP1=0,4\nKIP3=8,4\n",
                                 QStringLiteral("s.cfg"), &error);
    QVERIFY2(file, qPrintable(error));
    app::WorkingState state;
    app::loadLayout(file->sites[0].entries, state);
    QCOMPARE(state.layout.controllerType, 3);
    QCOMPARE(state.layout.selectedControllers, quint32(5));
    QCOMPARE(state.layout.ControllerTable[2].firstSensorAddress, 8);
    QCOMPARE(state.layout.sensorAddressEnd, 12);
}

void TestSites::unreadableFile() {
    QTemporaryDir dir;
    QString error;
    QVERIFY(!sites::loadSites(dir.filePath(QStringLiteral("none.cfg")), &error));
    QVERIFY2(error.startsWith(dir.filePath(QStringLiteral("none.cfg")) + QStringLiteral(": ")),
             qPrintable(error));
    // A folder is no sites file.
    QVERIFY(!sites::loadSites(dir.path(), &error));
    QVERIFY2(error.startsWith(dir.path() + QStringLiteral(": ")), qPrintable(error));
}

ORVANT_CORE_TEST_MAIN(TestSites)
#include "tst_sites.moc"
