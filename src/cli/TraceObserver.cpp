#include "cli/TraceObserver.h"

#include "link/LinkObserver.h"

#include <QDateTime>

#include <cstdio>

namespace cli {

namespace {
void print(qint64 ms, const char* direction, QByteArrayView chars) {
    const QString stamp =
        QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss.zzz"));
    std::fprintf(stderr, "%s %s %s\n", qPrintable(stamp), direction,
                 bus::printableChars(chars).constData());
}
} // namespace

void TraceObserver::frameSent(qint64 ms, QByteArrayView frame) {
    print(ms, ">", frame);
}
void TraceObserver::charactersReceived(qint64 ms, QByteArrayView chars) {
    print(ms, "<", chars);
}

} // namespace cli
