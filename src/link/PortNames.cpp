#include "link/PortNames.h"

#include <QRegularExpression>

namespace bus {

QString portNameForNumber(int number) {
    if (number <= 0 || number > 255)
        return {};
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

int portNumberOfName(const QString& name) {
#ifdef Q_OS_WIN
    static const QRegularExpression re(QStringLiteral("^COM(\\d+)$"));
    const int offset = 0;
#else
    static const QRegularExpression re(QStringLiteral("^/dev/ttyS(\\d+)$"));
    const int offset = 1;
#endif
    const auto m = re.match(name);
    if (!m.hasMatch())
        return 0;
    const int n = m.captured(1).toInt() + offset;
    return n >= 1 && n <= 255 ? n : 0;
}

} // namespace bus
