#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace sensor {

// Turns status codes and status words into the engineer's words.
class StatusDecoder {
  public:
    StatusDecoder();

    // A code byte as the device sent it. Short form: the text before the
    // first "|"; full form: the whole table value.
    QString DecodeCode(std::uint8_t code, bool full) const;
    // A code already shown as text, normally the two digits after "(".
    QString DecodeCodeText(const QString& hex, bool full) const;
    // The status word as the grid shows it: "S1 S2".
    QString DecodeStatusPair(const QString& pair) const;

  private:
    std::vector<std::pair<QString, QString>> m_table;
};

} // namespace sensor
