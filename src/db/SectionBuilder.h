#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

// A level sensor stacked from sections, each a tube with up to eight
// thermometers at known heights, as the section database describes them.
// One grid row per thermometer place, row 0 at the top of the sensor; each
// new section goes on top of the earlier ones.
namespace db {

class SectionBuilder {
  public:
    enum Column { Number = 0, Height, Id, SectionHeight, Section, Length, Used, Tube, Columns };
    static constexpr int kDefaultBottom = 500;
    static constexpr int kPlaces = 8;

    // UnderFuel and TermNum as the configuration file has them: missing or
    // negative takes the default; more thermometers than the page has
    // places is taken as the places there are.
    void configure(const QString& underFuel, const QString& termNum);
    int bottomLength() const { return m_bottomLength; }
    int thermometerLimit() const { return m_limit; }

    // The section of that number from the database on top; the status text
    // for what went wrong (empty also when the number is not there).
    QString add(const QString& database, const QString& numberText);

    const QList<QStringList>& rows() const { return m_rows; }
    QString cell(int row, Column c) const { return m_rows.value(row).value(c); }
    // Sections added since the grid was last empty (deleting one does not
    // lower it, as the block buttons have always counted).
    int sections() const { return m_sections; }
    QString sensorLength() const { return m_sensorLength; }
    QString tubeLength() const { return m_tubeLength; }
    int usedCount() const { return m_used; }
    bool overLimit() const { return m_used > m_limit; }
    bool canApply() const { return m_sections > 0 && !overLimit(); }

    void setBottom(bool on);
    bool bottom() const { return m_bottom; }
    // A click on "V" of a row with an identifier.
    void toggleUse(int row);
    // A click on a section number: selects its block, or deselects when
    // inside the selected one.
    void clickSection(int row);
    std::optional<std::pair<int, int>> block() const { return m_block; }
    bool canMoveUp() const;
    bool canMoveDown() const;
    void moveUp();
    void moveDown();
    void deleteBlock();
    void clear();

  private:
    void recompute();
    void renumber();
    // The rows around row holding its section number: first, last.
    std::pair<int, int> blockAround(int row) const;
    // Two adjacent blocks change places; the upper one ends below.
    void swapBlocks(std::pair<int, int> upper, std::pair<int, int> lower);
    void insertTop();

    QList<QStringList> m_rows{QStringList(Columns)};
    int m_sections = 0;
    bool m_bottom = false;
    int m_bottomLength = kDefaultBottom;
    int m_limit = kPlaces;
    int m_used = 0;
    std::optional<std::pair<int, int>> m_block;
    QString m_sensorLength, m_tubeLength;
};

} // namespace db
