#include "db/SectionBuilder.h"

#include "db/DbfTable.h"
#include "db/SensorDatabase.h"

#include <QFileInfo>

#include <algorithm>

namespace db {
namespace {

int numberIn(const QString& text) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? n : 0;
}

bool acceptedId(const QString& id) {
    return id.size() == 16 && id.startsWith(QLatin1String("10"));
}

} // namespace

void SectionBuilder::configure(const QString& underFuel, const QString& termNum) {
    bool ok = false;
    const int bottom = underFuel.trimmed().toInt(&ok);
    m_bottomLength = ok && bottom >= 0 ? bottom : kDefaultBottom;
    const int limit = termNum.trimmed().toInt(&ok);
    m_limit = ok && limit >= 0 ? std::min(limit, kPlaces) : kPlaces;
    recompute();
    renumber();
}

void SectionBuilder::insertTop() {
    m_rows.prepend(QStringList(Columns));
    // The selection names rows: it moves down with them.
    if (m_block)
        m_block = std::pair(m_block->first + 1, m_block->second + 1);
}

QString SectionBuilder::add(const QString& database, const QString& numberText) {
    if (!QFileInfo(database).isFile())
        return QStringLiteral("Исходный файл не найден");
    const QString number = numberText.trimmed();
    bool ok = false;
    if (number.toInt(&ok) < 0 || !ok)
        return QStringLiteral("Неправильный номер секции");
    DbfTable table(database);
    if (!table.IsOpen())
        return QStringLiteral("Исходный файл не открывается");
    if (table.RecordCount() == 0)
        return QStringLiteral("Исходный файл пустой");
    int found = -1;
    for (int i = 0; i < table.RecordCount() && found < 0; ++i)
        if (table.readLive(i) && trimmedField(table, "N_SENS") == number)
            found = i;
    if (found < 0)
        return {};
    if (m_sections > 0)
        insertTop();
    // The lowest row of the section carries its number and lengths.
    QStringList& lowest = m_rows[0];
    lowest[Section] = number;
    lowest[Length] = trimmedField(table, "L_SENS");
    if (table.FieldIndex("L_TR") >= 0) {
        const QString tube = trimmedField(table, "L_TR");
        lowest[Tube] = tube.isEmpty() ? lowest[Length] : tube;
    }
    bool first = true;
    for (int k = 1; k <= kPlaces; ++k) {
        const QByteArray idField = numbered("ID_T", k);
        if (table.FieldIndex(idField) < 0)
            continue;
        const QString id = trimmedField(table, idField);
        if (!acceptedId(id))
            continue;
        // The first thermometer taken shares the row with the lengths.
        if (!first)
            insertTop();
        first = false;
        QStringList& row = m_rows[0];
        row[Id] = id;
        row[SectionHeight] = trimmedField(table, numbered("H_T", k));
        row[Section] = number;
        row[Used] = QStringLiteral("V");
    }
    ++m_sections;
    recompute();
    renumber();
    return {};
}

void SectionBuilder::recompute() {
    if (m_sections == 0) {
        m_sensorLength.clear();
        m_tubeLength.clear();
        return;
    }
    const int bottom = m_bottom ? m_bottomLength : 0;
    int s = 0, p = 0, l = 0, t = 0;
    const int last = static_cast<int>(m_rows.size()) - 1;
    for (int r = last; r >= 0; --r) {
        QStringList& row = m_rows[r];
        if (const int length = numberIn(row[Length]); length != 0) {
            if (r != last) {
                s += l;
                p += t;
            }
            l = length;
            t = numberIn(row[Tube]);
            if (t == 0)
                t = l;
        }
        row[Height] = row[Section].isEmpty()
                          ? QString()
                          : QString::number(numberIn(row[SectionHeight]) + s + bottom);
    }
    m_sensorLength = QString::number(s + l + bottom);
    m_tubeLength = QString::number(p + t + bottom);
}

void SectionBuilder::renumber() {
    m_used = 0;
    for (int r = static_cast<int>(m_rows.size()) - 1; r >= 0; --r) {
        QStringList& row = m_rows[r];
        row[Number] = row[Used] == QLatin1String("V") ? QString::number(++m_used) : QString();
    }
}

void SectionBuilder::setBottom(bool on) {
    m_bottom = on;
    recompute();
}

void SectionBuilder::toggleUse(int row) {
    if (row < 0 || row >= m_rows.size() || m_rows[row][Id].isEmpty())
        return;
    QString& used = m_rows[row][Used];
    used = used.isEmpty() ? QStringLiteral("V") : QString();
    renumber();
}

std::pair<int, int> SectionBuilder::blockAround(int row) const {
    const QString number = m_rows[row][Section];
    int first = row, last = row;
    while (first > 0 && m_rows[first - 1][Section] == number)
        --first;
    while (last + 1 < m_rows.size() && m_rows[last + 1][Section] == number)
        ++last;
    return {first, last};
}

void SectionBuilder::clickSection(int row) {
    if (m_sections < 2 || row < 0 || row >= m_rows.size())
        return;
    if (m_block && row >= m_block->first && row <= m_block->second) {
        m_block.reset();
        return;
    }
    bool ok = false;
    m_rows[row][Section].toInt(&ok);
    if (ok)
        m_block = blockAround(row);
}

bool SectionBuilder::canMoveUp() const {
    return m_block && m_block->first > 0 && !m_rows[m_block->first - 1][Section].isEmpty();
}

bool SectionBuilder::canMoveDown() const {
    return m_block && m_block->second + 1 < m_rows.size() &&
           !m_rows[m_block->second + 1][Section].isEmpty();
}

void SectionBuilder::swapBlocks(std::pair<int, int> upper, std::pair<int, int> lower) {
    const QList<QStringList> top = m_rows.mid(upper.first, upper.second - upper.first + 1);
    const QList<QStringList> bottom = m_rows.mid(lower.first, lower.second - lower.first + 1);
    QList<QStringList> swapped = bottom + top;
    for (int i = 0; i < swapped.size(); ++i)
        m_rows[upper.first + i] = swapped[i];
    recompute();
    renumber();
}

void SectionBuilder::moveUp() {
    if (!canMoveUp())
        return;
    const auto selected = *m_block;
    const auto above = blockAround(selected.first - 1);
    swapBlocks(above, selected);
    const int size = selected.second - selected.first;
    m_block = std::pair(above.first, above.first + size);
}

void SectionBuilder::moveDown() {
    if (!canMoveDown())
        return;
    const auto selected = *m_block;
    const auto below = blockAround(selected.second + 1);
    swapBlocks(selected, below);
    const int size = selected.second - selected.first;
    m_block = std::pair(below.second - size, below.second);
}

void SectionBuilder::deleteBlock() {
    if (!m_block)
        return;
    m_rows.remove(m_block->first, m_block->second - m_block->first + 1);
    m_block.reset();
    // With the last section gone the next one starts from the bottom again,
    // not above an empty row.
    const bool anyLeft = std::any_of(m_rows.begin(), m_rows.end(),
                                     [](const QStringList& r) { return !r[Section].isEmpty(); });
    if (!anyLeft) {
        m_rows = {QStringList(Columns)};
        m_sections = 0;
    }
    recompute();
    renumber();
}

void SectionBuilder::clear() {
    m_rows = {QStringList(Columns)};
    m_sections = 0;
    m_block.reset();
    recompute();
    renumber();
}

} // namespace db
