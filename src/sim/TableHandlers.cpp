#include "sim/TableHandlers.h"

#include "sim/Bytes.h"

namespace sim::tables {
namespace {

int byteAt(const bus::DecodedRequest& req, int i) {
    return static_cast<std::uint8_t>(req.payload[i]);
}

int wordAt(const bus::DecodedRequest& req, int i) {
    return (byteAt(req, i) << 8) | byteAt(req, i + 1);
}

bool single(const Installation& inst) {
    return inst.type() == 2;
}

// The memory of the controller, erased at first use.
QByteArray& memory(Installation& inst, SimController& c) {
    const int size = single(inst) ? kSingleMemory : kFlashPages * c.pageSize;
    if (c.flash.size() != size)
        c.flash = QByteArray(size, '\xFF');
    return c.flash;
}

QByteArray& allocation(Installation& inst, SimController& c) {
    const int size = single(inst) ? 4 : 64;
    if (c.allocation.size() != size)
        c.allocation = QByteArray(size, '\xFF');
    return c.allocation;
}

Answer refused() {
    return Answer{rawBytes({0}), {}};
}

Answer accepted() {
    return Answer{rawBytes({1}), {}};
}

// The table just closed keeps one wrong byte when that fault is set.
void maybeCorrupt(SimController& c, int start) {
    if (c.corruptNextTableAt < 0 || start < 0)
        return;
    const int at = start + c.corruptNextTableAt;
    if (at < c.flash.size())
        c.flash[at] = static_cast<char>(c.flash[at] ^ 0x5A);
    c.corruptNextTableAt = -1;
}

} // namespace

// 0x78: the page size, high byte first.
std::optional<Answer> pageSize(Installation&, SimController& c, const bus::DecodedRequest&) {
    switch (c.pageSizeReply) {
    case SimController::PageSizeReply::Silent:
        return std::nullopt;
    case SimController::PageSizeReply::Zero:
        return Answer{rawBytes({0, 0}), {}};
    default:
        return Answer{rawBytes({c.pageSize >> 8, c.pageSize}), {}};
    }
}

std::optional<Answer> readAllocation(Installation& inst, SimController& c,
                                     const bus::DecodedRequest&) {
    return Answer{allocation(inst, c), {}};
}

std::optional<Answer> writeAllocation(Installation& inst, SimController& c,
                                      const bus::DecodedRequest& req) {
    QByteArray& a = allocation(inst, c);
    if (req.payload.size() != a.size())
        return refused();
    a = req.payload;
    return accepted();
}

// 0x52: [2, page, 0, 0, bytes] starts a table at a page, [1, bytes]
// continues it, [1] alone closes it. Only in service mode.
std::optional<Answer> writeBlockMulti(Installation& inst, SimController& c,
                                      const bus::DecodedRequest& req) {
    QByteArray& flash = memory(inst, c);
    if (!c.service || req.payload.isEmpty())
        return refused();
    const int kind = byteAt(req, 0);
    if (kind == 1 && req.payload.size() == 1) {
        maybeCorrupt(c, c.tableStart);
        c.writeAt = -1;
        c.tableStart = -1;
        return accepted();
    }
    int from = 1;
    if (kind == 2) {
        if (req.payload.size() < 5)
            return refused();
        c.writeAt = wordAt(req, 1) * c.pageSize;
        c.tableStart = c.writeAt;
        from = 5;
    } else if (kind != 1 || c.writeAt < 0) {
        return refused();
    }
    const QByteArray data = req.payload.mid(from);
    if (data.size() > 128 || c.writeAt + data.size() > flash.size())
        return refused();
    flash.replace(c.writeAt, data.size(), data);
    c.writeAt += static_cast<int>(data.size());
    return accepted();
}

// 0x53 [page, offset, count]: byte 0, then the bytes.
std::optional<Answer> readChunkMulti(Installation& inst, SimController& c,
                                     const bus::DecodedRequest& req) {
    const QByteArray& flash = memory(inst, c);
    if (req.payload.size() != 5)
        return std::nullopt;
    const int at = wordAt(req, 0) * c.pageSize + wordAt(req, 2);
    const int count = byteAt(req, 4);
    if (count > 128 || at + count > flash.size())
        return refused();
    return Answer{rawBytes({1}) + flash.mid(at, count), {}};
}

// 0x71 [address, bytes]: the single table of the direct-sensor type.
std::optional<Answer> writeBlockSingle(Installation& inst, SimController& c,
                                       const bus::DecodedRequest& req) {
    QByteArray& mem = memory(inst, c);
    if (!c.service || req.payload.size() < 3)
        return refused();
    const int at = wordAt(req, 0);
    const QByteArray data = req.payload.mid(2);
    if (at < kSingleTableAddress || data.size() > 128 || at + data.size() > mem.size())
        return refused();
    mem.replace(at, data.size(), data);
    if (c.corruptNextTableAt >= 0 &&
        at + data.size() > kSingleTableAddress + c.corruptNextTableAt &&
        at <= kSingleTableAddress + c.corruptNextTableAt) {
        const int bad = kSingleTableAddress + c.corruptNextTableAt;
        mem[bad] = static_cast<char>(mem[bad] ^ 0x5A);
        c.corruptNextTableAt = -1;
    }
    return accepted();
}

// 0x72 [address, count]: the bytes from byte 0.
std::optional<Answer> readChunkSingle(Installation& inst, SimController& c,
                                      const bus::DecodedRequest& req) {
    const QByteArray& mem = memory(inst, c);
    if (req.payload.size() != 3)
        return std::nullopt;
    const int at = wordAt(req, 0);
    const int count = byteAt(req, 2);
    if (count > 128 || at + count > mem.size())
        return refused();
    return Answer{mem.mid(at, count), {}};
}

} // namespace sim::tables
