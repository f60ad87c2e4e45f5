#pragma once

#include "caltable/TableFile.h"
#include "caltable/TankRows.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QVBoxLayout;
class QWidget;
class TEForm;
class PageHost;

// The "КАЛИБРОВКИ" page: the selected controller's allocation table as
// sixteen tank rows, files assigned to tanks and written, tables read back
// into files, and the preview and editor of the table on screen.
class CalibrationPage final : public QObject {
    Q_OBJECT
  public:
    CalibrationPage(PageHost& form, QWidget* page);

    // Re-entering the page: rows for the selected controller, then the
    // allocation table read.
    void Reenter();
    void LoadAllocationTable();
    void btSaveATClick();
    void CTDelClick();
    void btCTProgClick();
    void btCTReadClick();
    void SelectTankRow(int row);
    void AssignTableFile(int row);
    // The file chosen for the row (the dialog's work done).
    void assignFile(int row, const QString& path);
    void btTankClick(bool apply);
    void btClrEntrClick();
    void btExchClick();
    void btMulClick();
    void btStorClick();
    // A click on the preview at y: the editor on that row.
    void previewClicked(int y);

    // The dialogs, replaceable where nobody can answer them (tests).
    std::function<QString()> chooseFile;
    std::function<int(const QString& caption, const QString& text)> ask;
    std::function<void(const QString& text)> inform;
    std::function<bool(int row)> editRow; // the preview's editor; true on OK
    const caltable::TankRows& rows() const { return m_rows; }
    const QStringList& tableLines() const { return m_lines; }
    // Where tables read from a multi-table controller are written.
    QString readFolder;

  private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    QWidget* buildRows(QWidget* parent);
    QWidget* buildPreview(QWidget* parent);
    void showRows();
    void showButtons();
    int tankNumber(int row) const;
    bool single() const;
    std::uint8_t controller() const;
    // The table on screen parsed again (lines given, or from a file).
    int parseTable(const QString& path);
    void drawPreview();
    bool editTable(caltable::EditorMode mode, QStringList& lines, int line, int row);
    bool readTables();
    // Programs the planned files; said gets the status line's text.
    bool programTables(QString& said);
    // An edit not yet in its file is saved first (asked), or nothing is
    // written: what the preview shows is what goes to the controller.
    bool editsSaved(const std::vector<caltable::PlannedFile>& planned);
    bool saveLines();

    PageHost& m_form;
    caltable::TankRows m_rows;
    QStringList m_lines;
    int m_zeroLine = -1;
    int m_tableRows = 0;
    int m_tableSize = 0;
    double m_scale = 0;
    bool m_fromFile = false;
    bool m_edited = false; // the lines on screen differ from m_chosenFile
    QString m_chosenFile; // the file last chosen in the open dialog
    int m_pendingRow = -1;
    std::array<QPushButton*, caltable::kTanks> m_tank{};
    std::array<QLineEdit*, caltable::kTanks> m_file{};
    std::array<std::array<QLabel*, 3>, caltable::kTanks> m_cells{}; // S, E, H
    std::array<QWidget*, caltable::kTanks> m_rowWidgets{};
    QLabel* m_pageSize = nullptr;
    QProgressBar* m_ind = nullptr;
    QCheckBox* m_shift = nullptr;
    QLineEdit* m_shiftPages = nullptr;
    QCheckBox* m_verify = nullptr;
    QPushButton *m_readAT = nullptr, *m_saveAT = nullptr, *m_clear = nullptr, *m_program = nullptr,
                *m_readTables = nullptr, *m_exchange = nullptr, *m_duplicate = nullptr,
                *m_cancelFile = nullptr;
    QLabel* m_preview = nullptr;
    QLabel* m_height = nullptr;
    QLabel* m_level = nullptr;
    QPushButton *m_apply = nullptr, *m_reject = nullptr, *m_store = nullptr;
    TEForm* m_editor = nullptr;
    QVBoxLayout* m_leftColumn = nullptr;
};
