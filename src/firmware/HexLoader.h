#pragma once

#include "firmware/FirmwareImage.h"

namespace firmware {

// Reads Intel HEX records (types 00, 01, 02, 04; others ignored) into work,
// which must hold kImageSpace bytes. Every record's length and checksum are
// checked and the end record must be there. Line numbers in the messages
// count every line of the text.
LoadResult parseHexText(const QByteArray& text, FirmwareImage& work);

// The first "REV" in start..end-1 and the zero-terminated text from it.
bool findVersion(const FirmwareImage& image, QString& version);

} // namespace firmware
