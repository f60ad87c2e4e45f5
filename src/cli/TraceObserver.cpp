#include "cli/TraceObserver.h"

#include <cstdio>

namespace cli {

TraceObserver::TraceObserver()
    : m_monitor([](const QString& line) { std::fprintf(stderr, "%s\n", qPrintable(line)); }) {}

TraceObserver::~TraceObserver() {
    m_monitor.flush();
}

void TraceObserver::frameSent(qint64 ms, QByteArrayView frame) {
    m_monitor.frameSent(ms, frame);
}

void TraceObserver::charactersReceived(qint64 ms, QByteArrayView chars) {
    m_monitor.charactersReceived(ms, chars);
}

void TraceObserver::answerTaken(qint64 ms, bus::Outcome outcome, int length) {
    m_monitor.answerTaken(ms, outcome, length);
}

void TraceObserver::writeRefused(qint64 ms, std::uint8_t address, std::uint8_t command) {
    m_monitor.writeRefused(ms, address, command);
}

} // namespace cli
