#pragma once

#include "common/TestFiles.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <cstdint>

// A HEX file of 600 bytes carrying a version marker.
inline QString hexFile(const QTemporaryDir& dir, const char* name, bool marked = true,
                       const QByteArray& version = "REV VQM 6.01") {
    QByteArray data(600, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 3);
    if (marked)
        data.replace(20, version.size() + 1, version + '\0');
    QByteArray out;
    for (int at = 0; at < data.size(); at += 16) {
        QByteArray r;
        r += char(data.mid(at, 16).size());
        r += char(at >> 8);
        r += char(at);
        r += '\0';
        r += data.mid(at, 16);
        int sum = 0;
        for (char c : r)
            sum += static_cast<std::uint8_t>(c);
        r += char(-sum);
        out += ':' + r.toHex().toUpper() + "\r\n";
    }
    return putFile(dir, name, out + ":00000001FF\r\n");
}
