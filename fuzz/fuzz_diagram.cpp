// The diagram file reader: any file; what it accepts is a whole diagram that
// writes back to the same bytes it was read from, less what it ignores.
#include "TempFile.h"
#include "diagram/DiagramFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = scratchFile(".dgr");
    writeScratch(path, data, size);
    QString error;
    const auto d = diagram::ReadDiagramFile(path, &error);
    if (!d)
        return error.isEmpty() ? (__builtin_trap(), 0) : 0;
    if (d->segments < 0 || d->segments > diagram::kMaxSegments)
        __builtin_trap();
    for (const QByteArray* codes : {&d->sensor, &d->dry, &d->wet})
        if (codes->size() < d->segments)
            __builtin_trap();
    // Written again, it reads as the same diagram.
    const auto again = diagram::diagramFromBytes(
        diagram::diagramFileBytes(*d, diagram::fromOleDate(d->savedAt)), &error);
    if (!again || again->segments != d->segments || again->sensor != d->sensor)
        __builtin_trap();
    return 0;
}
