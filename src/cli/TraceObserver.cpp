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

TraceObserver::TraceObserver()
    : m_received(
          [](qint64 ms, const QByteArray& chars) { print(ms, "<", bus::printableChars(chars)); }) {}

TraceObserver::~TraceObserver() {
    m_received.flush();
}

void TraceObserver::frameSent(qint64 ms, QByteArrayView frame) {
    m_received.flush();
    print(ms, ">", bus::describeRequest(frame));
}

void TraceObserver::charactersReceived(qint64 ms, QByteArrayView chars) {
    m_received.add(ms, chars);
}

} // namespace cli
