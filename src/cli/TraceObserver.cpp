#include "cli/TraceObserver.h"

#include <QDateTime>

#include <cstdio>

namespace cli {

QByteArray printableChars(QByteArrayView chars) {
    QByteArray out;
    for (char c : chars) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F)
            out.append(c);
        else
            out.append('<')
                .append(QByteArray::number(u, 16).toUpper().rightJustified(2, '0'))
                .append('>');
    }
    return out;
}

namespace {
void print(qint64 ms, const char* direction, QByteArrayView chars) {
    const QString stamp =
        QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss.zzz"));
    std::fprintf(stderr, "%s %s %s\n", qPrintable(stamp), direction,
                 printableChars(chars).constData());
}
} // namespace

void TraceObserver::frameSent(qint64 ms, QByteArrayView frame) {
    print(ms, ">", frame);
}
void TraceObserver::charactersReceived(qint64 ms, QByteArrayView chars) {
    print(ms, "<", chars);
}

} // namespace cli
