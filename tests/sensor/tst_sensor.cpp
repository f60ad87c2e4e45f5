#include "app/ControllerScan.h"
#include "common/CommandLog.h"
#include "common/Layouts.h"
#include "common/SimHarness.h"
#include "common/TestMain.h"
#include "sensor/StatusDecoder.h"
#include "sensor/StatusPolls.h"
#include "tst_places.h"
#include "tst_settings.h"

#include <QtTest>

namespace {

class BreakAt : public app::SilentProgress {
  public:
    explicit BreakAt(int step) : m_step(step) {}
    void StepProgress(int) override {
        if (++m_steps == m_step)
            requestBreak();
    }

  private:
    int m_step;
    int m_steps = 0;
};

} // namespace

class TestSensor : public QObject {
    Q_OBJECT
  private slots:
    void scannedRangesStayInSensorAddresses();
    void decodeCode_data();
    void decodeCode();
    void normalAndUnknownCodes_data();
    void normalAndUnknownCodes();
    void decodeCodeTextIgnoresCase();
    void statusPairs_data();
    void statusPairs();

    void combinedCellTexts();
    void noSensorsNoRequests();
    void type4TriggersInsteadOfVolumeAndMass();
    void perValueWithMirel();
    void breakStopsAfterCurrentRequest();
    void absentAndSilentSensors();
    void extendedStatus();
    void configOverviewWithoutMask();
    void configOverviewWithMask();
};

void TestSensor::decodeCode_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("shortForm");
    QTest::addColumn<QString>("fullForm");
    QTest::newRow("81") << 0x81 << QStringLiteral("НЕТ ПИЛЫ")
                        << QStringLiteral("НЕТ ПИЛЫ| отказ генератора.");
    QTest::newRow("82")
        << 0x82 << QStringLiteral("НЕТ ВОЗВРАТА ")
        << QStringLiteral(
               "НЕТ ВОЗВРАТА | разъёмы от головы до сенсора; разрушение покрытия сенсора.");
    QTest::newRow("83")
        << 0x83 << QStringLiteral("НЕТ РАСКРЫВА ")
        << QStringLiteral(
               "НЕТ РАСКРЫВА | разъёмы от головы до сенсора; разрушение покрытия сенсора.");
    QTest::newRow("84")
        << 0x84 << QStringLiteral("ПРЕРВАНО КАНАЛОМ ")
        << QStringLiteral("ПРЕРВАНО КАНАЛОМ | во время сканирования сенсора работал канал связи.");
    QTest::newRow("85") << 0x85 << QStringLiteral("ЕСТЬ ЗАНУЛЁННЫЕ СЕГМЕНТЫ ")
                        << QStringLiteral("ЕСТЬ ЗАНУЛЁННЫЕ СЕГМЕНТЫ | нет раскрыва на отдельных "
                                          "сегментах - дефект покрытия; обрыв дорожек.");
    QTest::newRow("86") << 0x86 << QStringLiteral("ОШИБКА РАСЧЁТА ")
                        << QStringLiteral("ОШИБКА РАСЧЁТА |\"мусор\" в \"сухих/мокрых\" кодах.");
    QTest::newRow("88")
        << 0x88 << QStringLiteral("РАЗМЕР ")
        << QStringLiteral("РАЗМЕР | размер сенсора не определился сканированием и взят из памяти.");
    QTest::newRow("8B") << 0x8B << QStringLiteral("НЕТ ВОЗВРАТА")
                        << QStringLiteral("НЕТ ВОЗВРАТА|РАЗМЕР ИЗ ПАМЯТИ|НЕТ РАСКРЫВА");
    QTest::newRow("90") << 0x90 << QStringLiteral("НЕТ ID ")
                        << QStringLiteral(
                               "НЕТ ID | для данной точки отсутствует идентификатор термометра.");
    QTest::newRow("91") << 0x91 << QStringLiteral("НЕТ ПРИСУТСТВИЯ ")
                        << QStringLiteral("НЕТ ПРИСУТСТВИЯ | нет термометров или обрыв линии.");
    QTest::newRow("92") << 0x92 << QStringLiteral("НЕТ ОТВЕТА ")
                        << QStringLiteral(
                               "НЕТ ОТВЕТА | термометра с таким идентификатором нет на линии.");
    QTest::newRow("93") << 0x93 << QStringLiteral("СБОЙ CRC ")
                        << QStringLiteral("СБОЙ CRC | сбой на линии.");
    QTest::newRow("94") << 0x94 << QStringLiteral("БУФЕР ")
                        << QStringLiteral("БУФЕР | внутренняя ошибка головы");
    QTest::newRow("95") << 0x95 << QStringLiteral("ТЕРМОМЕТР СУХОЙ ")
                        << QStringLiteral("ТЕРМОМЕТР СУХОЙ | термометр выше уровня продукта.");
    QTest::newRow("A0")
        << 0xA0 << QStringLiteral("ОТКАЗ КАНАЛА СВЯЗИ ")
        << QStringLiteral(
               "ОТКАЗ КАНАЛА СВЯЗИ | линия связи закорочена на \"землю\" или \"питание\".");
    QTest::newRow("A1") << 0xA1 << QStringLiteral("ОТКАЗ СРЕДИ ТЕРМОМЕТРОВ, ")
                        << QStringLiteral("ОТКАЗ СРЕДИ ТЕРМОМЕТРОВ, |НЕОБХОДИМЫХ ДЛЯ РАСЧЁТА");
    QTest::newRow("A2") << 0xA2 << QStringLiteral("ОТКАЗ ВСЕХ ТЕРМОМЕТРОВ")
                        << QStringLiteral("ОТКАЗ ВСЕХ ТЕРМОМЕТРОВ");
    QTest::newRow("A3") << 0xA3 << QStringLiteral("ИДЁТ ИЗМЕРЕНИЕ")
                        << QStringLiteral("ИДЁТ ИЗМЕРЕНИЕ| данные от термометра ещё не получены.");
    QTest::newRow("A4")
        << 0xA4 << QStringLiteral("ОТКАЗ СРЕДИ ТЕРМОМЕТРОВ, ")
        << QStringLiteral(
               "ОТКАЗ СРЕДИ ТЕРМОМЕТРОВ, |НЕОБХОДИМЫХ ДЛЯ РАСЧЁТА | на ранних версиях контроллера");
    QTest::newRow("A5") << 0xA5 << QStringLiteral("ВСЕ ТЕРМОМЕТРЫ СУХИЕ")
                        << QStringLiteral("ВСЕ ТЕРМОМЕТРЫ СУХИЕ");
    QTest::newRow("B0") << 0xB0 << QStringLiteral("НЕТ ID ")
                        << QStringLiteral(
                               "НЕТ ID | для данной точки отсутствует идентификатор плотномера.");
    QTest::newRow("B1") << 0xB1 << QStringLiteral("НЕТ ПРИСУТСТВИЯ ")
                        << QStringLiteral("НЕТ ПРИСУТСТВИЯ | нет плотномеров или обрыв линии");
    QTest::newRow("B2") << 0xB2 << QStringLiteral("НЕТ ОТВЕТА ")
                        << QStringLiteral(
                               "НЕТ ОТВЕТА | плотномера с таким идентификатором нет на линии.");
    QTest::newRow("B3") << 0xB3 << QStringLiteral("СБОЙ CRC ")
                        << QStringLiteral("СБОЙ CRC | сбой на линии.");
    QTest::newRow("B4") << 0xB4 << QStringLiteral("НЕ ИНИЦИАЛИЗИРОВАН ")
                        << QStringLiteral("НЕ ИНИЦИАЛИЗИРОВАН | поправка по плотности равна нулю");
    QTest::newRow("B5") << 0xB5 << QStringLiteral("ПЛОТНОМЕР СУХОЙ ")
                        << QStringLiteral("ПЛОТНОМЕР СУХОЙ | плотномер выше уровня продукта.");
    QTest::newRow("B6") << 0xB6 << QStringLiteral("ИДЁТ НАЛИВ") << QStringLiteral("ИДЁТ НАЛИВ");
    QTest::newRow("B7") << 0xB7 << QStringLiteral("ПАУЗА")
                        << QStringLiteral("ПАУЗА| ПОСЛЕ СБРОСА ПИТАНИЯ");
    QTest::newRow("B8") << 0xB8 << QStringLiteral("РАСПРОСТРАНЕНИЕ")
                        << QStringLiteral("РАСПРОСТРАНЕНИЕ| ПЛОТНОСТИ И ТЕМПЕРАТУРЫ");
    QTest::newRow("B9") << 0xB9 << QStringLiteral("ПЛОТНОСТЬ <1") << QStringLiteral("ПЛОТНОСТЬ <1");
    QTest::newRow("BA") << 0xBA << QStringLiteral("СБРОС ПИТАНИЯ ")
                        << QStringLiteral("СБРОС ПИТАНИЯ | по ошибке В2 или В9");
    QTest::newRow("BB") << 0xBB << QStringLiteral("ПАУЗА ПОСЛЕ НАЛИВА ")
                        << QStringLiteral(
                               "ПАУЗА ПОСЛЕ НАЛИВА | определяется по статусу плотномера");
    QTest::newRow("C0")
        << 0xC0 << QStringLiteral("ОТКАЗ КАНАЛА СВЯЗИ ")
        << QStringLiteral(
               "ОТКАЗ КАНАЛА СВЯЗИ | линия связи закорочена на \"землю\" или \"питание\".");
    QTest::newRow("C1") << 0xC1 << QStringLiteral("ОТКАЗ СРЕДИ ПЛОТНОМЕРОВ, ")
                        << QStringLiteral("ОТКАЗ СРЕДИ ПЛОТНОМЕРОВ, |НЕОБХОДИМЫХ ДЛЯ РАСЧЁТА");
    QTest::newRow("C2") << 0xC2 << QStringLiteral("ОТКАЗ ВСЕХ ПЛОТНОМЕРОВ")
                        << QStringLiteral("ОТКАЗ ВСЕХ ПЛОТНОМЕРОВ");
    QTest::newRow("C3") << 0xC3 << QStringLiteral("ИДЁТ ИЗМЕРЕНИЕ")
                        << QStringLiteral("ИДЁТ ИЗМЕРЕНИЕ| данные от плотномера ещё не получены.");
    QTest::newRow("C4")
        << 0xC4 << QStringLiteral("ОТКАЗ СРЕДИ ПЛОТНОМЕРОВ, ")
        << QStringLiteral(
               "ОТКАЗ СРЕДИ ПЛОТНОМЕРОВ, |НЕОБХОДИМЫХ ДЛЯ РАСЧЁТА | на ранних версиях контроллера");
    QTest::newRow("C5") << 0xC5 << QStringLiteral("ВСЕ ПЛОТНОМЕРЫ СУХИЕ")
                        << QStringLiteral("ВСЕ ПЛОТНОМЕРЫ СУХИЕ");
    QTest::newRow("FE") << 0xFE
                        << QStringLiteral("ОШИБКА В ТАБЛИЦЕ: объём воды больше общего объёма")
                        << QStringLiteral("ОШИБКА В ТАБЛИЦЕ: объём воды больше общего объёма");
    QTest::newRow("FF") << 0xFF << QStringLiteral("НЕТ ТАБЛИЦЫ") << QStringLiteral("НЕТ ТАБЛИЦЫ");
}

void TestSensor::decodeCode() {
    QFETCH(int, code);
    QFETCH(QString, shortForm);
    QFETCH(QString, fullForm);
    const sensor::StatusDecoder d;
    QCOMPARE(d.DecodeCode(static_cast<std::uint8_t>(code), false), shortForm);
    QCOMPARE(d.DecodeCode(static_cast<std::uint8_t>(code), true), fullForm);
    const QString hex = QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
    QCOMPARE(d.DecodeCodeText(hex, false), shortForm);
    QCOMPARE(d.DecodeCodeText(hex, true), fullForm);
}

void TestSensor::normalAndUnknownCodes_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("00") << 0x00 << "В НОРМЕ";
    QTest::newRow("07") << 0x07 << "В НОРМЕ";
    QTest::newRow("0F") << 0x0F << "В НОРМЕ";
    QTest::newRow("50 unknown") << 0x50 << "";
    QTest::newRow("10 unknown") << 0x10 << "";
    QTest::newRow("87 unknown") << 0x87 << "";
}

void TestSensor::normalAndUnknownCodes() {
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(sensor::StatusDecoder().DecodeCode(static_cast<std::uint8_t>(code), false), text);
}

void TestSensor::decodeCodeTextIgnoresCase() {
    const sensor::StatusDecoder d;
    QCOMPARE(d.DecodeCodeText(QStringLiteral("a1"), false),
             QStringLiteral("ОТКАЗ СРЕДИ ТЕРМОМЕТРОВ, "));
    QCOMPARE(d.DecodeCodeText(QStringLiteral("0F"), true), QStringLiteral("В НОРМЕ"));
    QCOMPARE(d.DecodeCodeText(QStringLiteral("0z"), true), QStringLiteral("В НОРМЕ"));
    QCOMPARE(d.DecodeCodeText(QStringLiteral("zz"), true), QString());
    // The В of "В2 или В9" is Cyrillic.
    QVERIFY(d.DecodeCode(0xBA, true).contains(QStringLiteral("\u0412\u0032 или \u0412\u0039")));
}

void TestSensor::statusPairs_data() {
    QTest::addColumn<QString>("pair");
    QTest::addColumn<QString>("text");
    QTest::newRow("no sensor, S2 first") << "00 00"
                                         << "ДАТЧИКА С ТАКИМ АДРЕСОМ НЕТ";
    QTest::newRow("faults but no sensor") << "07 00"
                                          << "ДАТЧИКА С ТАКИМ АДРЕСОМ НЕТ";
    QTest::newRow("in order") << "00 12"
                              << "ДАТЧИК В НОРМЕ";
    QTest::newRow("level and density") << "05 12"
                                       << "СМОТРИТЕ УРОВЕНЬ ПЛОТНОСТЬ";
    QTest::newRow("all three") << "07 01"
                               << "СМОТРИТЕ УРОВЕНЬ ТЕМПЕРАТУРУ ПЛОТНОСТЬ";
    QTest::newRow("temperature") << "02 12"
                                 << "СМОТРИТЕ  ТЕМПЕРАТУРУ";
    QTest::newRow("higher bits only") << "08 12"
                                      << "СМОТРИТЕ ";
    QTest::newRow("not hex") << "QQ 12"
                             << "СМОТРИТЕ ";
    QTest::newRow("too short") << "0512"
                               << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestSensor::statusPairs() {
    QFETCH(QString, pair);
    QFETCH(QString, text);
    QCOMPARE(sensor::StatusDecoder().DecodeStatusPair(pair), text);
}

void TestSensor::combinedCellTexts() {
    SimHarness h(scenarioFrom("controller 0 0 2"));
    sim::SimSensor* s = h.installation->sensor(0);
    s->polls = 2; // the fuel level shows as set
    s->fuel = {12345, 0x03};
    s->water = {0, 0};
    s->temperature = {215, 0x00};
    s->density = {-2000, 0x00}; // integer part 0xFF38
    s->volume = {-10, 0x00};    // integer part 0xFFFFFFFF
    s->mass = {123456789, 0xFF};
    s->s1 = 0x05;
    h.installation->sensor(1)->temperature = {-81, 0x92};
    sensor::StatusGrid grid = sensor::generalStatusGrid();
    app::SilentProgress progress;
    const auto r = sensor::PollGeneralStatus(h.link, layoutOf({{0, 0, 2}}), progress, grid, false);
    QVERIFY(!r.stopped && !r.linkLost);
    QVERIFY(grid.visible);
    QCOMPARE(grid.rows.size(), std::size_t(2));
    QCOMPARE(grid.rows[0], (QStringList{"1", "05 13", "1234.5 (03)", "0.0 (00)", "+21.5 (00)",
                                        "-200.0 (00)", "-1.0 (00)", "12345678.9 (FF)"}));
    QCOMPARE(grid.rows[1][0], QStringLiteral("2"));
    QCOMPARE(grid.rows[1][4], QStringLiteral("-8.1 (92)"));
    QCOMPARE(h.installation->requestsSeen(), 2);
}

void TestSensor::noSensorsNoRequests() {
    SimHarness h(scenarioFrom("controller 0 0 2"));
    sensor::StatusGrid grid = sensor::generalStatusGrid();
    grid.visible = true;
    app::SilentProgress progress;
    sensor::PollGeneralStatus(h.link, layoutOf({{0, 0, 0}}), progress, grid, false);
    sensor::StatusGrid t = sensor::thermometerGrid(), d = sensor::densityGrid(),
                       c = sensor::configOverviewGrid();
    sensor::PollExtendedStatus(h.link, layoutOf({{0, 0, 0}}), progress, t, d);
    sensor::PollConfigOverview(h.link, layoutOf({{0, 0, 0}}), progress, c);
    QVERIFY(!grid.visible && !t.visible && !d.visible && !c.visible);
    QCOMPARE(h.installation->requestsSeen(), 0);
}

void TestSensor::type4TriggersInsteadOfVolumeAndMass() {
    SimHarness h(scenarioFrom("type 4\ncontroller 0 0 2"));
    CommandLog log;
    h.link.setObserver(&log);
    sensor::StatusGrid grid = sensor::generalStatusGrid();
    app::SilentProgress progress;
    sensor::PollGeneralStatus(h.link, layoutOf({{0, 0, 2}}, 4), progress, grid, false);
    QCOMPARE(log.sent.mid(0, 6),
             (QStringList{"00:0C", "00:04", "00:05", "00:06", "00:08", "00:8A"}));
    QCOMPARE(log.sent.size(), 12);
    QCOMPARE(h.installation->sensor(0)->triggers, 1);
    QVERIFY(!grid.rows[0][sensor::ColDensity].isEmpty());
    QVERIFY(grid.rows[0][sensor::ColVolume].isEmpty());
    QVERIFY(grid.rows[0][sensor::ColMass].isEmpty());
}

void TestSensor::perValueWithMirel() {
    SimHarness h(scenarioFrom("controller 0 0 1"));
    h.installation->sensor(0)->polls = 2;
    CommandLog log;
    h.link.setObserver(&log);
    sensor::StatusGrid combined = sensor::generalStatusGrid();
    sensor::StatusGrid perValue = sensor::generalStatusGrid();
    app::SilentProgress progress;
    sensor::PollGeneralStatus(h.link, layoutOf({{0, 0, 1}}), progress, combined, false);
    h.installation->sensor(0)->polls = 2;
    sensor::PollGeneralStatus(h.link, layoutOf({{0, 0, 1}}), progress, perValue, true);
    QCOMPARE(log.sent,
             (QStringList{"00:1C", "00:0C", "00:04", "00:05", "00:06", "00:08", "00:10", "00:11"}));
    // Both ways give the same cells.
    QCOMPARE(perValue.rows[0], combined.rows[0]);
}

void TestSensor::breakStopsAfterCurrentRequest() {
    SimHarness h(scenarioFrom("controller 0 0 6"));
    sensor::StatusGrid grid = sensor::generalStatusGrid();
    grid.resize(6);
    grid.rows[5][1] = QStringLiteral("old");
    BreakAt progress(3);
    const auto r = sensor::PollGeneralStatus(h.link, layoutOf({{0, 0, 6}}), progress, grid, false);
    QVERIFY(r.stopped);
    QCOMPARE(h.installation->requestsSeen(), 3);
    QVERIFY(!grid.rows[2][1].isEmpty());
    QCOMPARE(grid.rows[5][1], QStringLiteral("old")); // rows after the stop keep what they had
    // In the extended poll a break between two channel requests stops there.
    SimHarness e(scenarioFrom("controller 0 0 2"));
    sensor::StatusGrid t = sensor::thermometerGrid(), d = sensor::densityGrid();
    BreakAt early(2);
    sensor::PollExtendedStatus(e.link, layoutOf({{0, 0, 2}}), early, t, d);
    QCOMPARE(e.installation->requestsSeen(), 3); // status, T1, T2
}

void TestSensor::absentAndSilentSensors() {
    SimHarness h(scenarioFrom("controller 0 0 3\nabsent 1\nsensor 2 fault=silent"));
    sensor::StatusGrid grid = sensor::generalStatusGrid();
    app::SilentProgress progress;
    sensor::PollGeneralStatus(h.link, layoutOf({{0, 0, 3}}), progress, grid, false);
    QCOMPARE(grid.rows[1][1], QStringLiteral("00 00"));
    QCOMPARE(sensor::StatusDecoder().DecodeStatusPair(grid.rows[1][1]),
             QStringLiteral("ДАТЧИКА С ТАКИМ АДРЕСОМ НЕТ"));
    QCOMPARE(grid.rows[2], (QStringList{"3", "", "", "", "", "", "", ""}));
}

void TestSensor::extendedStatus() {
    SimHarness h(scenarioFrom("controller 0 0 2\nsensor 1 fault=silent"));
    sim::SimSensor* s = h.installation->sensor(0);
    s->thermometers[0] = {-125, 0x00};
    s->thermometers[1] = {0, 0x92};
    s->densityChannels[0] = {-2000, 0x00};
    s->densityChannels[1] = {0, 0xB0};
    sensor::StatusGrid t = sensor::thermometerGrid(), d = sensor::densityGrid();
    app::SilentProgress progress;
    sensor::PollExtendedStatus(h.link, layoutOf({{0, 0, 2}}), progress, t, d);
    QCOMPARE(t.rows[0][1], QStringLiteral("-12.5 (00)"));
    QCOMPARE(t.rows[0][2], QStringLiteral("+0.0 (92)"));
    QCOMPARE(d.rows[0][1], QStringLiteral("-200.0 (00)"));
    QCOMPARE(d.rows[0][2], QStringLiteral("0.0 (B0)"));
    QCOMPARE(d.rows[0][0], QStringLiteral("1"));
    // The silent sensor was asked its status three times, nothing else.
    QCOMPARE(h.installation->requestsSeen(), 17 + 3);
    QCOMPARE(t.rows[1], (QStringList{"2", "", "", "", "", "", "", "", ""}));
    QCOMPARE(d.rows[1][0], QStringLiteral("2"));
}

void TestSensor::configOverviewWithoutMask() {
    SimHarness h(scenarioFrom("controller 0 0 12"));
    CommandLog log;
    h.link.setObserver(&log);
    sensor::StatusGrid grid = sensor::configOverviewGrid();
    app::SilentProgress progress;
    // Not from a scan: controller 0 is asked at 0xFF, which never answers.
    sensor::PollConfigOverview(h.link, layoutOf({{0, 0, 12}}, 1, false), progress, grid);
    QCOMPARE(log.sent.first(), QStringLiteral("FF:7C"));
    QCOMPARE(log.sent.size(), 1 + 8 * 2);
    QCOMPARE(grid.rows[7][sensor::ColVersion], h.installation->sensor(7)->version);
    QCOMPARE(grid.rows[8], (QStringList{"9", "", "", "", ""}));
}

void TestSensor::configOverviewWithMask() {
    SimHarness h(scenarioFrom("controller 0 0 3\ncontroller 2 10 2\nabsent 1"));
    h.installation->sensor(0)->length = 3500;
    h.installation->sensor(0)->thermometerCount = 5;
    h.installation->sensor(0)->densityCount = 2;
    sensor::StatusGrid grid = sensor::configOverviewGrid();
    app::SilentProgress progress;
    sensor::PollConfigOverview(h.link, layoutOf({{0, 0, 3}, {2, 10, 2}}), progress, grid);
    QCOMPARE(grid.rows[0],
             (QStringList{"1", QString::fromLatin1(h.installation->sensor(0)->version), "3500", "5",
                          "2"}));
    QCOMPARE(grid.rows[1], (QStringList{"2", "", "", "", ""})); // not in the controller's mask
    QCOMPARE(grid.rows[3][0], QStringLiteral("11"));
    QVERIFY(!grid.rows[4][sensor::ColHeight].isEmpty());
    QVERIFY(grid.visible);
}

ORVANT_TEST_MAIN(TestSensor, TestSettings, TestPlaces)
#include "tst_sensor.moc"

// A controller that claims sensors past 127 must not make the polls address
// controllers or broadcasts as sensors.
void TestSensor::scannedRangesStayInSensorAddresses() {
    SimHarness h(scenarioFrom("controller 0 0 4\ncontroller 1 4 4"));
    h.installation->controller(0)->first = 120;
    h.installation->controller(0)->count = 20;
    h.installation->controller(1)->first = 200;
    h.installation->controller(1)->count = 255;
    app::ControllerLayout layout;
    app::SilentProgress progress;
    app::ScanControllers(h.link, layout, progress);
    QCOMPARE(layout.ControllerTable[0].firstSensorAddress, 120);
    QCOMPARE(layout.ControllerTable[0].sensorCount, 8);
    QCOMPARE(layout.ControllerTable[1].firstSensorAddress, 127);
    QCOMPARE(layout.ControllerTable[1].sensorCount, 1);
    QCOMPARE(layout.sensorAddressEnd, 128);
    CommandLog log;
    h.link.setObserver(&log);
    sensor::StatusGrid grid = sensor::generalStatusGrid();
    sensor::PollGeneralStatus(h.link, layout, progress, grid, false);
    QCOMPARE(log.sent.size(), 9);
    for (const QString& s : log.sent)
        QVERIFY2(s.left(2).toInt(nullptr, 16) < 0x80, qPrintable(s));
    QCOMPARE(grid.rows.size(), qsizetype(9));
}
