// The Intel HEX loader on arbitrary text.
#include "firmware/HexLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static firmware::FirmwareImage image;
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const firmware::LoadResult r = firmware::parseHexText(text, image);
    if (image.data.size() != firmware::kImageSpace || image.end > firmware::kImageSpace)
        __builtin_trap();
    if (r.ok) {
        QString version;
        firmware::findVersion(image, version);
    }
    return 0;
}
