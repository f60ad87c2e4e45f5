#include "link/DeviceText.h"

#include "link/Exchange.h"
#include "link/SerialLink.h"

#include <QStringDecoder>

#include <cstring>

namespace bus {

QString deviceText(const std::uint8_t* bytes, int length) {
    const auto* text = reinterpret_cast<const char*>(bytes);
    const void* zero = std::memchr(text, 0, static_cast<std::size_t>(std::max(length, 0)));
    const QByteArray raw(text, zero ? static_cast<const char*>(zero) - text : length);
    QStringDecoder cp1251("windows-1251");
    return cp1251.isValid() ? QString(cp1251(raw)) : QString::fromLatin1(raw);
}

std::optional<QString> ReadDeviceText(SerialLink& link, Target target, std::uint8_t address,
                                      std::uint8_t code) {
    const int n = Exchange(link, target, address, code, Form::Read);
    if (n < 1)
        return std::nullopt;
    return deviceText(link.receiveBuffer(), n);
}

} // namespace bus
