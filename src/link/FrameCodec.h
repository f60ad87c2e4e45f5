#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

// The ASCII-hex frames of the line, both directions. Master side: requests
// out, replies in. Device side (used by the simulated installation): requests
// in, replies out. No allocation on the master side: the link's buffers are
// passed in.
namespace bus {

inline constexpr int kBufferSize = 1024;
inline constexpr int kMaxPayload = 255;
inline constexpr int kMaxRawTextPayload = 128;
inline constexpr char kFrameStart = '@';
inline constexpr char kFrameEnd = '*';
inline constexpr char kCarriageReturn = '\r';

using Buffer = std::array<std::uint8_t, kBufferSize>;

// Fields of the last decoded reply.
struct ReplyFields {
    std::uint8_t address = 0;
    std::uint8_t command = 0;
    std::uint8_t length = 0;
    std::uint8_t firstByte = 0;
};

// 0x83 with an identifier-cell first byte carries the rest of its payload as
// text, already in hex characters.
bool isRawTextRequest(std::uint8_t command, std::uint8_t firstPayloadByte);
// 0x03 replies from identifier cells carry text after their first byte.
bool isRawTextReply(std::uint8_t command, std::uint8_t firstDataByte);

// Number of payload bytes N the length field carries for this payload.
// Raw-text requests hold one byte followed by 2(N-1) characters.
// Returns -1 when the payload cannot be framed.
int requestPayloadCount(std::uint8_t command, std::span<const std::uint8_t> payload);

// Builds the request frame into out; returns its length (11 + 2N), or -1 when
// the payload cannot be framed (too long, or a raw-text payload of even size).
int encodeRequest(Buffer& out, std::uint8_t address, std::uint8_t command,
                  std::span<const std::uint8_t> payload);

// Decodes the reply found in buf[0..n-1] in place: afterwards buf holds the
// data bytes followed by a 0 byte. Returns the data length (2L'+1 in the
// raw-text case) or -1.
int parseReply(Buffer& buf, int n, ReplyFields& fields);

// True only when the raw characters end in a complete frame with a valid
// checksum that names another command: a late answer to an earlier request.
// Used where any answer counts without being decoded; a bare or garbled
// answer still counts.
bool rawFrameAnswersOtherCommand(const std::uint8_t* chars, int n, std::uint8_t command);

// Device side -------------------------------------------------------------

struct DecodedRequest {
    std::uint8_t address = 0;
    std::uint8_t command = 0;
    int count = 0;      // the length field N
    QByteArray payload; // decoded bytes; in the raw-text case byte 0 then the text
    bool rawText = false;
};

// Decodes a request frame from its last "@"; nothing when it is malformed or
// its checksum is wrong.
std::optional<DecodedRequest> decodeRequest(QByteArrayView chars);

// A reply frame ending in "*" and CR. With text, the raw-text reply form:
// data byte 0 hex-encoded, then the text characters unchanged (even length).
QByteArray encodeReply(std::uint8_t address, std::uint8_t command, QByteArrayView data);
QByteArray encodeRawTextReply(std::uint8_t address, std::uint8_t command, std::uint8_t first,
                              QByteArrayView text);

} // namespace bus
