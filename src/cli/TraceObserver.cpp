#include "cli/TraceObserver.h"

#include "link/LinkObserver.h"

#include <QDateTime>

#include <cstdio>

namespace cli {

namespace {
void print(qint64 ms, const char* direction, const QByteArray& shown) {
    const QString stamp =
        QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss.zzz"));
    std::fprintf(stderr, "%s %s %s\n", qPrintable(stamp), direction, shown.constData());
}
} // namespace

void TraceObserver::frameSent(qint64 ms, QByteArrayView frame) {
    print(ms, ">", bus::describeRequest(frame));
}
void TraceObserver::charactersReceived(qint64 ms, QByteArrayView chars) {
    print(ms, "<", bus::printableChars(chars));
}

} // namespace cli
