#pragma once

#include "caltable/TableProgramming.h"

#include <QByteArray>
#include <QString>

#include <vector>

// Reading calibration tables into files: one workflow for the window and
// "tables K read". The allocation table is read first, each table asked
// for in the controller's service mode (ended on every way out) and a
// table that came whole written to its file.
namespace caltable {

// One table to read: its row of the allocation table, the tank its file
// names, the file.
struct ReadJob {
    int row = 0;
    int tank = 0;
    QString path;
};

enum class ReadReason {
    None,           // read whole, its file written
    NoTable,        // the allocation table has none for the row
    TooLarge,       // more than the single-table device holds
    ReadFailed,     // a chunk never came: no file is written
    FileNotWritten, // read, the file refused
    Stopped,        // Break, or the line went, before it was whole
};

struct ReadOutcome {
    ReadReason reason = ReadReason::Stopped;
    Entry entry{};
    QString error;    // FileNotWritten: why
    QByteArray image; // None: the table read
};

struct TableReadingResult {
    bool allocationRead = false;     // the controller answered for its allocation table
    std::vector<ReadOutcome> tables; // one per job, in order
    // Every job's file written.
    bool complete() const;
};

TableReadingResult ReadTables(bus::SerialLink& link, const TableDevice& device,
                              const std::vector<ReadJob>& jobs, app::Progress& progress);

// What the window's status line and the CLI say of one table; shown is the
// file as the front end names it.
QString describe(const ReadOutcome& table, const ReadJob& job, const QString& shown);

} // namespace caltable
