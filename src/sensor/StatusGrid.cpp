#include "sensor/StatusGrid.h"

namespace sensor {

void StatusGrid::resize(int rowCount) {
    rows.resize(static_cast<std::size_t>(std::max(rowCount, 0)));
    for (QStringList& r : rows)
        while (r.size() < columns())
            r.append(QString());
}

void StatusGrid::startRow(int row, int address) {
    QStringList& r = rows[row];
    for (QString& cell : r)
        cell.clear();
    r[0] = QString::number(address + 1);
}

StatusGrid generalStatusGrid() {
    return StatusGrid({QStringLiteral("Рез."), QStringLiteral("Статус"), QStringLiteral("Топливо"),
                       QStringLiteral("Вода"), QStringLiteral("Темпер."), QStringLiteral("Плотн."),
                       QStringLiteral("Объём"), QStringLiteral("Масса")});
}

namespace {
StatusGrid numbered(QChar letter) {
    QStringList titles{QStringLiteral("Рез")};
    for (int n = 1; n <= 8; ++n)
        titles << letter + QString::number(n);
    return StatusGrid(titles);
}
} // namespace

StatusGrid thermometerGrid() {
    return numbered(QLatin1Char('T'));
}
StatusGrid densityGrid() {
    return numbered(QLatin1Char('D'));
}

StatusGrid configOverviewGrid() {
    return StatusGrid({QStringLiteral("Рез"), QStringLiteral("Версия"), QStringLiteral("Высота"),
                       QStringLiteral("Терм. "), QStringLiteral("Плотн.")});
}

} // namespace sensor
