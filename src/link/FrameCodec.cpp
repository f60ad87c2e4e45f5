#include "link/FrameCodec.h"

namespace bus {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The devices' decoding: below ":" the low nibble, otherwise code - 55.
// Lower-case digits are not part of the protocol.
int hexValue(std::uint8_t c) {
    return c < ':' ? (c & 0x0F) : (c - 55);
}

std::uint8_t hexByte(std::uint8_t high, std::uint8_t low) {
    return static_cast<std::uint8_t>(((hexValue(high) << 4) + hexValue(low)) & 0xFF);
}

template <typename Out> void putHex(Out& out, int& pos, std::uint8_t value) {
    out[pos++] = static_cast<typename Out::value_type>(kHexDigits[value >> 4]);
    out[pos++] = static_cast<typename Out::value_type>(kHexDigits[value & 0x0F]);
}

void appendHex(QByteArray& out, std::uint8_t value) {
    out.append(kHexDigits[value >> 4]);
    out.append(kHexDigits[value & 0x0F]);
}

std::uint8_t xorOf(QByteArrayView chars) {
    std::uint8_t sum = 0;
    for (char c : chars)
        sum ^= static_cast<std::uint8_t>(c);
    return sum;
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

} // namespace

bool isRawTextRequest(std::uint8_t command, std::uint8_t first) {
    return command == 0x83 &&
           ((first >= 0x81 && first <= 0x8E) || (first >= 0xD0 && first <= 0xD4));
}

bool isRawTextReply(std::uint8_t command, std::uint8_t first) {
    return command == 0x03 && first >= 0x81 && first <= 0x8E;
}

int requestPayloadCount(std::uint8_t command, std::span<const std::uint8_t> payload) {
    if (!payload.empty() && isRawTextRequest(command, payload[0])) {
        if (payload.size() % 2 == 0)
            return -1;
        // The last guard: raw text is identifier text, upper-case hex digits
        // only, so a frame never carries "@", "*" or CR inside.
        for (std::size_t i = 1; i < payload.size(); ++i) {
            const std::uint8_t c = payload[i];
            if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
                return -1;
        }
        const int n = 1 + static_cast<int>(payload.size() - 1) / 2;
        return n <= kMaxRawTextPayload ? n : -1;
    }
    return payload.size() <= kMaxPayload ? static_cast<int>(payload.size()) : -1;
}

int encodeRequest(Buffer& out, std::uint8_t address, std::uint8_t command,
                  std::span<const std::uint8_t> payload) {
    const int n = requestPayloadCount(command, payload);
    if (n < 0)
        return -1;
    int pos = 0;
    out[pos++] = kFrameStart;
    putHex(out, pos, address);
    putHex(out, pos, command);
    putHex(out, pos, static_cast<std::uint8_t>(n));
    if (n > 0 && isRawTextRequest(command, payload[0])) {
        putHex(out, pos, payload[0]);
        for (std::size_t i = 1; i < payload.size(); ++i)
            out[pos++] = payload[i];
    } else {
        for (std::uint8_t b : payload)
            putHex(out, pos, b);
    }
    std::uint8_t sum = 0;
    for (int i = 0; i < pos; ++i)
        sum ^= out[i];
    putHex(out, pos, sum);
    out[pos++] = kFrameEnd;
    out[pos++] = kCarriageReturn;
    return pos;
}

int parseReply(Buffer& r, int n, ReplyFields& fields) {
    if (n < 9 || n > kBufferSize)
        return -1;
    int at = -1;
    for (int i = n - 1; i >= 0; --i) {
        if (r[i] == kFrameStart) {
            at = i;
            break;
        }
    }
    if (at < 0)
        return -1;
    if (at > 0) {
        std::copy(r.begin() + at, r.begin() + n, r.begin());
        n -= at;
    }
    if (n < 8)
        return -1;

    fields.address = hexByte(r[1], r[2]);
    fields.command = hexByte(r[3], r[4]);
    fields.length = hexByte(r[5], r[6]);
    const int len = fields.length;

    std::uint8_t sum = 0;
    for (int i = 0; i < 7; ++i)
        sum ^= r[i];
    if (n - 7 < 2 * len + 3)
        return -1;

    // Data characters, checksum pair and "*" now start at offset 0.
    std::copy(r.begin() + 7, r.begin() + n, r.begin());
    for (int i = 0; i < 2 * len; ++i)
        sum ^= r[i];

    // With L = 0 the first pair is the checksum itself, so read the checksum
    // before anything is decoded over it.
    const std::uint8_t first = hexByte(r[0], r[1]);
    const bool rawText = len > 0 && isRawTextReply(fields.command, first);
    const int checksumAt = 2 * len; // 2 + 2(L-1) in the raw-text case too
    const std::uint8_t received = hexByte(r[checksumAt], r[checksumAt + 1]);
    fields.firstByte = first;
    r[0] = first;

    int result;
    if (rawText) {
        const int textLen = 2 * (len - 1);
        fields.length = static_cast<std::uint8_t>(len - 1);
        // Text characters stay as they came; they only move down by one.
        std::copy(r.begin() + 2, r.begin() + 2 + textLen, r.begin() + 1);
        result = textLen + 1;
    } else {
        for (int i = 1; i < len; ++i)
            r[i] = hexByte(r[2 * i], r[2 * i + 1]);
        result = len;
    }
    r[result] = 0;
    return received == sum ? result : -1;
}

bool rawFrameAnswersOtherCommand(const std::uint8_t* chars, int n, std::uint8_t command) {
    if (n <= 0 || n > kBufferSize)
        return false;
    Buffer copy{};
    std::copy(chars, chars + n, copy.begin());
    ReplyFields fields;
    return parseReply(copy, n, fields) >= 0 && fields.command != command;
}

std::optional<DecodedRequest> decodeRequest(QByteArrayView chars) {
    const qsizetype at = chars.lastIndexOf(kFrameStart);
    if (at < 0)
        return std::nullopt;
    const QByteArrayView f = chars.sliced(at);
    if (f.size() < 10)
        return std::nullopt;
    for (int i = 1; i < 7; ++i)
        if (!isHexDigit(f[i]))
            return std::nullopt;
    auto byteAt = [&](qsizetype i) {
        return hexByte(static_cast<std::uint8_t>(f[i]), static_cast<std::uint8_t>(f[i + 1]));
    };
    DecodedRequest req;
    req.address = byteAt(1);
    req.command = byteAt(3);
    req.count = byteAt(5);
    const qsizetype dataChars = 2 * req.count;
    if (f.size() < 7 + dataChars + 3 || f[7 + dataChars + 2] != kFrameEnd)
        return std::nullopt;
    if (xorOf(f.first(7 + dataChars)) != byteAt(7 + dataChars))
        return std::nullopt;
    if (req.count > 0) {
        const std::uint8_t first = byteAt(7);
        req.payload.append(static_cast<char>(first));
        if (isRawTextRequest(req.command, first)) {
            req.rawText = true;
            req.payload.append(f.sliced(9, dataChars - 2));
        } else {
            for (int i = 1; i < req.count; ++i)
                req.payload.append(static_cast<char>(byteAt(7 + 2 * i)));
        }
    }
    return req;
}

namespace {
QByteArray finishReply(QByteArray frame) {
    appendHex(frame, xorOf(frame));
    frame.append(kFrameEnd);
    frame.append(kCarriageReturn);
    return frame;
}

QByteArray replyHeader(std::uint8_t address, std::uint8_t command, int length) {
    QByteArray frame;
    frame.reserve(11 + 2 * length);
    frame.append(kFrameStart);
    appendHex(frame, address);
    appendHex(frame, command);
    appendHex(frame, static_cast<std::uint8_t>(length));
    return frame;
}
} // namespace

QByteArray encodeReply(std::uint8_t address, std::uint8_t command, QByteArrayView data) {
    QByteArray frame = replyHeader(address, command, static_cast<int>(data.size()));
    for (char b : data)
        appendHex(frame, static_cast<std::uint8_t>(b));
    return finishReply(frame);
}

QByteArray encodeRawTextReply(std::uint8_t address, std::uint8_t command, std::uint8_t first,
                              QByteArrayView text) {
    QByteArray frame = replyHeader(address, command, 1 + static_cast<int>(text.size() / 2));
    appendHex(frame, first);
    frame.append(text);
    return finishReply(frame);
}

} // namespace bus
