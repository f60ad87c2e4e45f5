// The simulator's scenario reader: any file; an accepted scenario keeps its
// devices within the line's address space.
#include "TempFile.h"
#include "sim/Scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = scratchFile(".txt");
    writeScratch(path, data, size);
    QString error;
    const auto s = sim::loadScenario(path, &error);
    if (!s)
        return error.isEmpty() ? (__builtin_trap(), 0) : 0;
    if (s->type < 0 || s->type > 5)
        __builtin_trap();
    return 0;
}
