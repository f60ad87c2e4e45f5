#pragma once

#include <QObject>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class QWidget;
class PageHost;

// The "ТЕРМОМЕТРЫ" tab: identifiers and mounting heights of the sensor's
// thermometers, read, searched, entered by hand, reordered and written.
class ThermometerTab final : public QObject {
    Q_OBJECT
  public:
    enum { Tag = 2, kSearchTag = 102 };
    ThermometerTab(PageHost& form, QWidget* tab);

    // Filled by the sensor databases: offered the identifiers a search found.
    void setFactoryLookup(std::function<void(const QStringList& ids)> lookup);
    // "СОБРАТЬ" and "ИЗ ФАЙЛА", filled by the databases and the builder.
    void setBuilder(std::function<void()> open);
    void setFromFile(std::function<void()> open);
    // The builder's grid: identifiers and heights taken with both marks down.
    void TakeBuilderGrid(const QList<QStringList>& rows);
    void clear();
    // The keys of the places the last ПОЛУЧИТЬ left unknown: what the tab
    // shows is not the sensor's. Forgotten when the tab is cleared or filled
    // from a file.
    const QStringList& unread() const { return m_unread; }
    void forgetRead() { m_unread.clear(); }
    // Place k (0..7) as the sensor databases fill and read it; a mark set
    // presses both marks of the place, none leaves them as they are.
    QString identifier(int k) const;
    QString height(int k) const;
    void setPlace(int k, const QString& id, const QString& height, std::optional<bool> marks);
    QStringList identifiers() const;
    // The "УСТАНОВИТЬ" button, focused after places were filled.
    QPushButton* setButton() const { return m_set; }

    // Selection of an identifier field (0..7), or -1.
    int selected() const { return m_selected; }
    void select(int index);
    void btTMove(bool up);

  private:
    bool read();
    bool write();
    bool search();
    void HndEntClick(bool down);
    void updateMoveButtons();
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool TmpKeyPress(QLineEdit* edit, int key, const QString& text);
    void paintId(int index, const char* colour);

    PageHost& m_form;
    std::array<QLineEdit*, 8> m_height{};
    std::array<QToolButton*, 8> m_heightMark{};
    std::array<QLineEdit*, 8> m_id{};
    std::array<QToolButton*, 8> m_idMark{};
    QToolButton* m_handEntry = nullptr;
    QPushButton* m_up = nullptr;
    QPushButton* m_down = nullptr;
    QPushButton* m_builder = nullptr;
    QPushButton* m_fromFile = nullptr;
    QPushButton* m_set = nullptr;
    int m_selected = -1;
    QStringList m_unread;
    std::function<void(const QStringList&)> m_factoryLookup;
    std::function<void()> m_openBuilder;
    std::function<void()> m_openFromFile;
};

// The "ПЛОТНОМЕРЫ" tab: identifiers, heights and corrections of the
// sensor's density meters.
class DensityTab final : public QObject {
    Q_OBJECT
  public:
    enum { Tag = 3 };
    DensityTab(PageHost& form, QWidget* tab);
    void clear();
    // As the thermometer tab's, for the meters a user file keeps.
    const QStringList& unread() const { return m_unread; }
    void forgetRead() { m_unread.clear(); }
    // Meter n (0..7): identifier and height, as the user files keep them.
    QString identifier(int n) const;
    QString height(int n) const;
    // Height, identifier and correction of meter n emptied, marks released.
    void clearMeter(int n);

  private:
    bool read();
    bool write();
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Column 0 height, 1 identifier, 2 correction; meter 0..7.
    bool DenKeyPress(int column, int meter, int key, const QString& text);
    void moveDown(int column, int meter);
    QLineEdit* field(int column, int meter) const { return m_fields[column][meter]; }

    PageHost& m_form;
    std::array<std::array<QLineEdit*, 8>, 3> m_fields{};
    std::array<std::array<QToolButton*, 8>, 3> m_marks{};
    QStringList m_unread;
};
