// The snapshot reader: any file; what it accepts is written and read back
// with the same devices and layout (text values may be normalised by the
// JSON writer, so only the structure is compared).
#include "TempFile.h"
#include "snapshot/Snapshot.h"

namespace {

// A controller's entry keeps no serving controller: one in the file is
// dropped, so it is compared for sensors only.
bool sameDevices(const std::vector<snapshot::Device>& a, const std::vector<snapshot::Device>& b,
                 bool sensors) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].number != b[i].number || (sensors && a[i].controller != b[i].controller) ||
            a[i].values.size() != b[i].values.size())
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = scratchFile(".json");
    writeScratch(path, data, size);
    QString error;
    const auto s = snapshot::readSnapshot(path, &error);
    if (!s)
        return error.isEmpty() ? (__builtin_trap(), 0) : 0;
    const auto again = snapshot::fromJson(snapshot::toJson(*s), &error);
    if (!again || !sameDevices(again->controllers, s->controllers, false) ||
        !sameDevices(again->sensors, s->sensors, true) || again->layout.size() != s->layout.size())
        __builtin_trap();
    return 0;
}
