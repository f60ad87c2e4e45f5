// The snapshot reader: any file; what it accepts writes and reads back equal.
#include "TempFile.h"
#include "snapshot/Snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = scratchFile(".json");
    writeScratch(path, data, size);
    QString error;
    const auto s = snapshot::readSnapshot(path, &error);
    if (!s)
        return error.isEmpty() ? (__builtin_trap(), 0) : 0;
    const auto again = snapshot::fromJson(snapshot::toJson(*s), &error);
    if (!again || again->controllers != s->controllers || again->sensors != s->sensors ||
        again->layout != s->layout)
        __builtin_trap();
    return 0;
}
