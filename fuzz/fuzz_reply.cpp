// Reply parsing on arbitrary received characters, the raw-text case included.
#include "link/FrameCodec.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    bus::Buffer buffer{};
    // The link never stores more than the buffer holds.
    const int n = static_cast<int>(std::min(size, buffer.size()));
    std::memcpy(buffer.data(), data, static_cast<size_t>(n));
    bus::rawFrameAnswersOtherCommand(buffer.data(), n, n > 0 ? data[0] : 0);
    bus::ReplyFields fields;
    const int length = bus::parseReply(buffer, n, fields);
    if (length > bus::kBufferSize - 1)
        __builtin_trap();
    // The device side of the codec reads the same characters as a request.
    bus::decodeRequest(
        QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
