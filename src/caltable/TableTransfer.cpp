#include "caltable/TableTransfer.h"

#include "app/Progress.h"
#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"

#include <algorithm>
#include <cstring>

namespace caltable {
namespace {

using bus::Form;
namespace ctl = bus::ctl;

constexpr int kEntryBytes = 4;
constexpr int kChunkTries = 3;
constexpr std::uint8_t kFirstBlock = 0x02;
constexpr std::uint8_t kNextBlock = 0x01;

int word(const bus::SerialLink& link, int at) {
    return (link.data(at) << 8) | link.data(at + 1);
}

void putWord(std::vector<std::uint8_t>& out, int v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

std::vector<std::uint8_t> entryBytes(const Allocation& table, int entries) {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < entries; ++i) {
        putWord(out, table[i].startPage);
        putWord(out, table[i].size);
    }
    return out;
}

bool accepted(int n, const bus::SerialLink& link) {
    return n >= 1 && link.data(0) != 0;
}

int blocksOf(int size) {
    return (size + kBlockBytes - 1) / kBlockBytes;
}

} // namespace

int pagesFor(int size, int pageSize) {
    return pageSize > 0 ? (size + pageSize - 1) / pageSize : 0;
}

int ReadPageSize(bus::SerialLink& link, std::uint8_t controller) {
    if (bus::AskController(link, controller, ctl::ReadPageSize, Form::Read) < 2)
        return kQuietPageSize;
    const int size = word(link, 0);
    return size == 0 ? kDefaultPageSize : size;
}

std::optional<AllocationRead> ReadAllocation(bus::SerialLink& link, std::uint8_t controller,
                                             int pageSize) {
    const int n = bus::AskController(link, controller, ctl::ReadAllocationTable, Form::Read);
    if (n < kEntryBytes)
        return std::nullopt;
    AllocationRead r;
    r.entries = std::min(n / kEntryBytes, kTanks);
    int highestStart = -1;
    for (int i = 0; i < r.entries; ++i) {
        Entry e;
        e.size = static_cast<quint16>(word(link, i * kEntryBytes + 2));
        e.startPage = r.entries < 2 ? 0 : static_cast<quint16>(word(link, i * kEntryBytes));
        if (e.empty())
            continue;
        r.table[i] = e;
        r.anyTable = true;
        // Ties go to the later entry.
        if (e.startPage >= highestStart) {
            highestStart = e.startPage;
            r.firstFreePage = e.startPage + pagesFor(e.size, pageSize);
        }
    }
    if (r.entries > 1)
        r.anyTable = r.firstFreePage != 0;
    return r;
}

bool StoreAllocationTable(bus::SerialLink& link, std::uint8_t controller, const Allocation& table,
                          bool single) {
    const auto bytes = entryBytes(table, single ? 1 : kTanks);
    return accepted(
        bus::AskController(link, controller, ctl::WriteAllocationTable, Form::Write, bytes), link);
}

bool ClearAllocationTable(bus::SerialLink& link, std::uint8_t controller, bool single) {
    const std::vector<std::uint8_t> zeros((single ? 1 : kTanks) * kEntryBytes, 0);
    return accepted(
        bus::AskController(link, controller, ctl::WriteAllocationTable, Form::Write, zeros), link);
}

Transfer WriteTableImage(bus::SerialLink& link, std::uint8_t controller, const QByteArray& image,
                         int page, app::Progress& progress) {
    Transfer t;
    const int blocks = blocksOf(static_cast<int>(image.size()));
    t.blocks = blocks;
    progress.ShowProgress(blocks);
    for (int b = 0; b < blocks; ++b) {
        if (progress.breakRequested()) {
            t.stopped = true;
            t.block = b;
            return t;
        }
        std::vector<std::uint8_t> payload;
        if (b == 0) {
            payload = {kFirstBlock};
            putWord(payload, page);
            payload.push_back(0);
            payload.push_back(0);
        } else {
            payload = {kNextBlock};
        }
        const int from = b * kBlockBytes;
        const int count = std::min<int>(kBlockBytes, static_cast<int>(image.size()) - from);
        payload.insert(payload.end(), image.begin() + from, image.begin() + from + count);
        const int n =
            bus::AskController(link, controller, ctl::WriteTableBlockMulti, Form::Write, payload);
        if (!accepted(n, link)) {
            t.block = b;
            t.refused = n >= 1;
            return t;
        }
        progress.StepProgress(0);
        progress.processEvents();
    }
    const std::uint8_t close[] = {kNextBlock};
    bus::AskController(link, controller, ctl::WriteTableBlockMulti, Form::FollowUp, close);
    t.done = true;
    return t;
}

Transfer WriteSingleTableImage(bus::SerialLink& link, std::uint8_t controller,
                               const QByteArray& image, app::Progress& progress) {
    Transfer t;
    const int blocks = blocksOf(static_cast<int>(image.size()));
    t.blocks = blocks;
    progress.ShowProgress(blocks);
    int address = kSingleTableAddress;
    for (int b = 0; b < blocks; ++b) {
        if (progress.breakRequested()) {
            t.stopped = true;
            t.block = b;
            t.address = address;
            return t;
        }
        std::vector<std::uint8_t> payload;
        putWord(payload, address);
        const int from = b * kBlockBytes;
        const int count = std::min<int>(kBlockBytes, static_cast<int>(image.size()) - from);
        payload.insert(payload.end(), image.begin() + from, image.begin() + from + count);
        const int n =
            bus::AskController(link, controller, ctl::WriteTableBlockSingle, Form::Write, payload);
        if (!accepted(n, link)) {
            t.block = b;
            t.address = address;
            t.refused = n >= 1;
            return t;
        }
        address += count;
        progress.StepProgress(0);
        progress.processEvents();
    }
    t.done = true;
    return t;
}

TableRead ReadTableImage(bus::SerialLink& link, std::uint8_t controller, const Entry& entry,
                         int pageSize, app::Progress& progress) {
    TableRead r;
    const int size = entry.size;
    QByteArray image(size, '\0');
    // Every page in chunks of 128 with a last partial chunk; so the last
    // page, which may be partial.
    int chunks = 0;
    for (int at = 0; at < size; at += pageSize)
        chunks += blocksOf(std::min(pageSize, size - at));
    progress.ShowProgress(chunks);
    for (int k = 0, at = 0; at < size; ++k, at += pageSize) {
        const int inPage = std::min(pageSize, size - at);
        for (int o = 0; o < inPage; o += kBlockBytes) {
            const int c = std::min(kBlockBytes, inPage - o);
            bool got = false;
            for (int attempt = 0; attempt < kChunkTries && !got; ++attempt) {
                if (progress.breakRequested()) {
                    r.stopped = true;
                    return r;
                }
                std::vector<std::uint8_t> payload;
                putWord(payload, entry.startPage + k);
                putWord(payload, o);
                payload.push_back(static_cast<std::uint8_t>(c));
                const int n = bus::AskController(link, controller, ctl::ReadTableChunkMulti,
                                                 Form::Read, payload);
                got = n >= c + 1;
                if (got)
                    std::memcpy(image.data() + at + o, link.receiveBuffer() + 1, c);
            }
            // A chunk lost three times: no table rather than one with holes.
            if (!got)
                return r;
            progress.StepProgress(0);
            progress.processEvents();
        }
    }
    r.image = image;
    return r;
}

TableRead ReadSingleTableImage(bus::SerialLink& link, std::uint8_t controller, int size,
                               app::Progress& progress) {
    TableRead r;
    QByteArray image(size, '\0');
    progress.ShowProgress(blocksOf(size));
    for (int from = 0; from < size; from += kBlockBytes) {
        if (progress.breakRequested()) {
            r.stopped = true;
            return r;
        }
        const int c = std::min(kBlockBytes, size - from);
        std::vector<std::uint8_t> payload;
        putWord(payload, kSingleTableAddress + from);
        payload.push_back(static_cast<std::uint8_t>(c));
        if (bus::AskController(link, controller, ctl::ReadTableChunkSingle, Form::Read, payload) <
            c)
            return r;
        std::memcpy(image.data() + from, link.receiveBuffer(), c);
        progress.StepProgress(0);
        progress.processEvents();
    }
    r.image = image;
    return r;
}

} // namespace caltable
