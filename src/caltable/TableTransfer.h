#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace app {
class Progress;
}
namespace bus {
class SerialLink;
}

// The calibration tables inside a controller: its page size, its
// allocation table (first page and size of each tank's table) and the
// transfer of tables between files and its flash. A direct-sensor device
// (type 2) holds a single table at memory address 0x0100.
namespace caltable {

inline constexpr int kTanks = 16;
inline constexpr int kBlockBytes = 128;
inline constexpr int kDefaultPageSize = 264;
inline constexpr int kQuietPageSize = 528;
inline constexpr int kSinglePageSize = 256;
inline constexpr int kSingleTableAddress = 0x0100;
inline constexpr int kSingleTableMax = 3840;

struct Entry {
    quint16 startPage = 0;
    quint16 size = 0; // bytes; 0 and 0xFFFF mean no table
    bool empty() const { return size == 0 || size == 0xFFFF; }
    bool operator==(const Entry&) const = default;
};
using Allocation = std::array<Entry, kTanks>;

int pagesFor(int size, int pageSize);
// 0x78: 528 when unanswered, 264 when answered with 0.
int ReadPageSize(bus::SerialLink& link, std::uint8_t controller);

struct AllocationRead {
    int entries = 0; // 16, or 1 for the single-table device
    Allocation table{};
    int firstFreePage = 0; // after the table that starts highest
    bool anyTable = false;
};
// Nothing when the controller gave fewer than 4 bytes.
std::optional<AllocationRead> ReadAllocation(bus::SerialLink& link, std::uint8_t controller,
                                             int pageSize);
// 16 entries, or the first alone for the single-table device.
bool StoreAllocationTable(bus::SerialLink& link, std::uint8_t controller, const Allocation& table,
                          bool single);
bool ClearAllocationTable(bus::SerialLink& link, std::uint8_t controller, bool single);

// How a table transfer ended.
struct Transfer {
    bool done = false;
    bool stopped = false; // a break between blocks
    int blocks = 0;       // of the image
    // Undone: the block it ended at (0-based): the one not taken, or the
    // next one when Break was pressed; for the single table also its
    // memory address.
    int block = -1;
    int address = -1;
    bool refused = false; // that block was answered, and not taken
};
// Sends an image as blocks from page (0x52) and closes it. In service mode
// (bus::ServiceMode).
Transfer WriteTableImage(bus::SerialLink& link, std::uint8_t controller, const QByteArray& image,
                         int page, app::Progress& progress);
// The single table, block by block from 0x0100 (0x71). In service mode.
Transfer WriteSingleTableImage(bus::SerialLink& link, std::uint8_t controller,
                               const QByteArray& image, app::Progress& progress);

// A table read back: nothing when a chunk failed three times (or, single,
// once) or the user broke off, so that no partial table is ever taken.
struct TableRead {
    std::optional<QByteArray> image;
    bool stopped = false;
};
TableRead ReadTableImage(bus::SerialLink& link, std::uint8_t controller, const Entry& entry,
                         int pageSize, app::Progress& progress);
TableRead ReadSingleTableImage(bus::SerialLink& link, std::uint8_t controller, int size,
                               app::Progress& progress);

// One table to program: the rows (tanks) it serves and its image.
struct TableJob {
    std::vector<int> rows;
    QByteArray image;
};

} // namespace caltable
