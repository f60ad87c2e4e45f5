// The user-database loader: any file, looked up for every address.
#include "TempFile.h"
#include "db/UserDatabase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = scratchFile(".dbf");
    writeScratch(path, data, size);
    for (int address = 0; address < 128; ++address) {
        const db::LoadResult r = db::LoadUserRecord(path, address, {});
        if (r.outcome == db::LoadOutcome::BadStructure)
            break;
        if (r.outcome != db::LoadOutcome::Loaded)
            continue;
        for (const auto& id : r.values.thermometerIds)
            if (id && id->size() != 16)
                __builtin_trap();
    }
    return 0;
}
