#include "tst_status_texts.h"

#include "UiWindow.h"

#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

// One value of sensor 2 carries the code byte (or the summary byte is set);
// its cell of the general status, pressed, says what the code means.
void TestStatusTexts::cellSaysWhatTheSensorSent_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("said");
    QTest::newRow("level: zeroed segments")
        << "fuel" << 0x85 << 2 << QStringLiteral("ЕСТЬ ЗАНУЛЁННЫЕ СЕГМЕНТЫ ");
    QTest::newRow("temperature: a thermometer does not answer")
        << "temperature" << 0x92 << 4 << QStringLiteral("НЕТ ОТВЕТА ");
    QTest::newRow("temperature: all thermometers dry")
        << "temperature" << 0xA5 << 4 << QStringLiteral("ВСЕ ТЕРМОМЕТРЫ СУХИЕ");
    QTest::newRow("density: no density meter on the line")
        << "density" << 0xB1 << 5 << QStringLiteral("НЕТ ПРИСУТСТВИЯ ");
    QTest::newRow("volume: no table") << "volume" << 0xFF << 6 << QStringLiteral("НЕТ ТАБЛИЦЫ");
    QTest::newRow("mass: a code no device sends") << "mass" << 0x50 << 7 << QString();
    QTest::newRow("summary: level and density")
        << "s1" << 0x05 << 1 << QStringLiteral("СМОТРИТЕ УРОВЕНЬ ПЛОТНОСТЬ");
}

void TestStatusTexts::cellSaysWhatTheSensorSent() {
    QFETCH(QString, value);
    QFETCH(int, code);
    QFETCH(int, column);
    QFETCH(QString, said);
    Window w("controller 0 0 4");
    sim::SimSensor& s = *w.installation->sensor(2);
    s.polls = 2;
    const std::map<QString, sim::Reading*> readings{{"fuel", &s.fuel},
                                                    {"temperature", &s.temperature},
                                                    {"density", &s.density},
                                                    {"volume", &s.volume},
                                                    {"mass", &s.mass}};
    if (value == QLatin1String("s1"))
        s.s1 = code;
    else
        readings.at(value)->code = code;
    w.form->layoutActions().scan();
    QTest::mouseClick(w.find<QToolButton>("sbGetStat"), Qt::LeftButton);
    auto* grid = w.find<QTableWidget>("sgSns");
    if (column > 1)
        QVERIFY2(grid->item(2, column)->text().endsWith(
                     QStringLiteral("(%1)").arg(code, 2, 16, QLatin1Char('0')).toUpper()),
                 qPrintable(grid->item(2, column)->text()));
    emit grid->cellPressed(2, column);
    QCOMPARE(w.mess(), said);
}
