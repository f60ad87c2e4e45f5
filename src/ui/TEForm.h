#pragma once

#include "caltable/TableFile.h"

#include <QDialog>

#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// "РЕДАКТОР": one row of the calibration table with two rows before and two
// after; the row's volume and increment are corrected here, neighbouring
// rows stepped to, and a missing row 0 added. Lines are changed in place.
class TEForm final : public QDialog {
    Q_OBJECT
  public:
    explicit TEForm(QWidget* parent = nullptr);

    // Before showing: the lines, the zero line z, the mode and the row.
    void setUp(QStringList* lines, int zeroLine, caltable::EditorMode mode, int row);
    // Called after each change of a line (the preview is drawn again).
    void setChanged(std::function<void()> changed) { m_changed = std::move(changed); }
    int currentLine() const { return m_line; }

    void bbPrevClick();
    void bbNextClick();
    // Enter in the volume or increment field.
    void acceptRow();

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Row {
        bool shown = false;
        QString number, volume, increment;
        QString numberField; // as in the file, "=" included
        double v = 0, d = 0;
    };
    Row readRow(int j) const;
    void fill();
    void fillAddMode();
    void show(int d, const Row& r);
    QString writtenBack() const;
    // The row shown goes back into its line only when it was typed in, so
    // that lines nobody touched stay as they were in the file.
    void storeRow();

    QStringList* m_lines = nullptr;
    int m_zero = 0;
    int m_line = 0;
    bool m_adding = false;
    bool m_rowTyped = false;
    QString m_numberField;
    std::function<void()> m_changed;
    // Per display row (d = -2..+2): number, volume, increment, computed.
    std::array<std::array<QLabel*, 4>, 5> m_cells{};
    QLineEdit* m_volume = nullptr;
    QLineEdit* m_increment = nullptr;
    QPushButton* m_ok = nullptr;
    QToolButton* m_prev = nullptr;
    QToolButton* m_next = nullptr;
    QLabel* m_mess = nullptr;
};
