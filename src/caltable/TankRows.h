#pragma once

#include "caltable/TableTransfer.h"

#include <QString>

#include <array>
#include <vector>

// The sixteen tank rows of the calibration page: what each tank has in the
// controller, the file planned for it, the selections and the moves made
// before writing. Nothing here talks to the controller.
namespace caltable {

enum class RowGroup { None, FileRow, EmptyRow, ControllerTable };

struct TankRow {
    Entry allocation; // as it is (or will be) in the controller
    Entry planned;    // the place reserved for an assigned file
    QString filePath; // the assigned file, empty when none
    // Cells as shown: file name, start page, size, height.
    QString f, s, e, h;
    RowGroup selected = RowGroup::None;
};

struct ButtonStates {
    bool exchange = false;       // btExch
    bool duplicate = false;      // btMul
    bool readTables = false;     // btCTRead
    bool cancelFile = false;     // btClrEntr
    bool saveAllocation = false; // btSaveAT
    bool program = false;        // btCTProg
};

// A table to write and the rows it serves (the same file for several tanks
// is written once).
struct PlannedFile {
    QString path;
    std::vector<int> rows;
};

class TankRows {
  public:
    std::array<TankRow, kTanks> rows;
    int pageSize = kDefaultPageSize;
    int firstFreePage = 0;
    int nextPlannedPage = 0;
    bool single = false; // the single-table device of type 2
    bool allocationChanged = false;
    bool saveAllocationEnabled = false;

    // The allocation table as read: rows, selections and pages start again.
    void loadAllocation(const AllocationRead& read);
    // The controller's table emptied.
    void clearAll();
    // A click on a tank cell; the status text.
    QString select(int row);
    RowGroup groupFromCells(int row) const;
    int count(RowGroup g) const;
    ButtonStates buttons() const;
    int filesToWrite() const;

    // Whether a new file may be assigned to the row: not when it holds the
    // only reference to a table in the controller.
    bool assignable(int row) const;
    // The row whose file cell shows that name, or -1.
    int rowShowing(const QString& fileName, int except) const;
    // The same file as another row: path, planned place and cells.
    void shareFile(int row, int from);
    // A parsed file applied: its path, the next planned page.
    QString applyFile(int row, const QString& path, int rows, int tableSize, int tankNumber);
    void cancelFile(int row);
    void cancelSelectedFiles();
    QString exchange();
    QString duplicate();

    // The files to write, one entry per distinct planned place, in row order.
    std::vector<PlannedFile> plannedFiles() const;
    // After programming: the rows whose tables were written take their
    // entries and leave the files to write.
    void written(const std::vector<int>& rows, const Entry& entry);
    // Nothing planned is left unwritten.
    bool allWritten() const;
    // The allocation table as it stands.
    Allocation allocation() const;

    QString sizeText(int size) const;
    static QString heightText(int size);

  private:
    void showEntry(int row, const Entry& e);
    void clearCells(int row);
    void dropGroup(RowGroup g);
};

} // namespace caltable
