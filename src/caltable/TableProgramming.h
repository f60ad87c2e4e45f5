#pragma once

#include "caltable/TableTransfer.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace app {
class Progress;
}
namespace bus {
class SerialLink;
}

// Programming calibration tables: one workflow for the window and the CLI.
// The tables are written in the controller's service mode, each read back
// and compared when asked, and the allocation table is stored with the
// tables that are whole. The tables live in the controller itself (in
// type 2 in the device at its own address): no transit is involved.
namespace caltable {

// The device that keeps the tables.
struct TableDevice {
    std::uint8_t controller = 0;
    bool single = false; // the single table of type 2 at 0x0100
    int pageSize = kDefaultPageSize;
};

// What to program: the tables in order (one per file, with the rows it
// serves), the allocation table they join, and the page the first goes to.
struct TablePlan {
    Allocation allocation{};
    std::vector<TableJob> tables;
    int firstPage = 0; // ignored for the single table
    bool verify = true;
};

enum class TableState { Confirmed, WrittenUnconfirmed, Failed };

enum class TableReason {
    None,            // confirmed
    NotVerified,     // written; no read-back was asked for
    TooLarge,        // single table past its memory: nothing sent
    ServiceRefused,  // the service mode was not granted: nothing sent
    BlockRefused,    // a block was not taken while the line stayed
    LineLost,        // the port went away
    Stopped,         // Break
    ReadBackFailed,  // written, but a chunk of the read-back never came
    ReadBackDiffers, // read back, not as written
    NotReached,      // an earlier table ended the run (line lost or Break)
};

// Where a table's write or read-back ended.
enum class TablePhase { Writing, ReadingBack };

struct TableOutcome {
    TableState state = TableState::Failed;
    TableReason reason = TableReason::NotReached;
    TablePhase phase = TablePhase::Writing;
    Entry entry{};         // the place written to
    bool recorded = false; // its rows took the entry in the allocation table
    int size = 0;          // bytes of the table
    // Writing: the block the write had reached when it ended (0-based; the
    // one unanswered, or the next one when Break was pressed), of blocks;
    // for the single table also its memory address.
    int block = -1;
    int blocks = 0;
    int address = -1;
};

enum class AllocationStore {
    NotNeeded, // no table was recorded
    Stored,
    Failed,
};

struct TableProgrammingResult {
    bool serviceRefused = false; // 0xA0 unanswered twice
    bool lineLost = false;       // the port went away during the run
    std::vector<TableOutcome> tables; // one per TableJob, in order
    Allocation allocation{};          // as stored: with the tables recorded
    AllocationStore store = AllocationStore::NotNeeded;
    int nextFreePage = 0; // after the tables written (their pages are taken)

    // Every table written and, when asked for, confirmed; the allocation
    // table stored; the line still there.
    bool complete() const;
};

// Programs the plan's tables in order: a single table past kSingleTableMax
// is refused before anything is sent; a refused block passes on to the next
// table, a lost line or Break ends the run. A table whose write or
// read-back did not end whole keeps its rows' entries as they were. The
// service mode is always ended before the allocation table is stored.
TableProgrammingResult ProgramTables(bus::SerialLink& link, const TableDevice& device,
                                     const TablePlan& plan, app::Progress& progress);

// What the window's status line and the CLI say of one table (the front
// end puts the tank before it), of the allocation table (empty when it was
// not needed), and of the run as a whole (empty when the controller
// answered and the line stayed).
QString describe(const TableOutcome& table);
QString describe(AllocationStore store);
QString describe(const TableProgrammingResult& result);

} // namespace caltable
