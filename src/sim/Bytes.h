#pragma once

#include <QByteArray>

#include <initializer_list>

namespace sim {

// Bytes from small integers, each taken modulo 256.
inline QByteArray rawBytes(std::initializer_list<int> values) {
    QByteArray out;
    out.reserve(static_cast<qsizetype>(values.size()));
    for (int v : values)
        out.append(static_cast<char>(v & 0xFF));
    return out;
}

} // namespace sim
