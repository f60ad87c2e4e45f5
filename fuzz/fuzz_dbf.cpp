// DbfTable opening an arbitrary file and reading every record and field.
#include "TempFile.h"
#include "db/DbfTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = scratchFile(".dbf");
    writeScratch(path, data, size);
    db::DbfTable table(path);
    if (!table.IsOpen())
        return 0;
    for (int i = 0; i < table.RecordCount(); ++i) {
        if (!table.ReadRecord(i))
            __builtin_trap(); // a usable table holds all its records
        for (int k = 0; k < table.fieldCount(); ++k) {
            // Names may repeat; a name finds its first field.
            const QByteArray name = table.fieldName(k);
            if (table.GetField(name).size() > table.fieldLength(table.FieldIndex(name)))
                __builtin_trap();
        }
    }
    return 0;
}
