#pragma once

#include "app/Progress.h"
#include "common/CommandLog.h"
#include "common/SimHarness.h"
#include "link/FrameCodec.h"

#include <QByteArrayList>

// Controller 0 (or the type-2 device at 0x80) on the simulated line, the
// line logged.
struct TableBench {
    explicit TableBench(const char* scenario = "controller 0 0 4\n",
                        Transport transport = Transport::Direct)
        : h(scenarioFrom(scenario), transport) {
        h.link.setObserver(&log);
    }
    sim::SimController& c() { return *h.installation->controller(0); }
    SimHarness h;
    CommandLog log;
    app::SilentProgress progress;
};

// A table image of that size whose bytes differ from block to block.
inline QByteArray tableImage(int size, int seed = 1) {
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = static_cast<char>((i * 7 + seed * 13) & 0xFF);
    return b;
}

// The payloads of the requests with that command code sent.
inline QByteArrayList payloadsSent(const CommandLog& log, const char* command) {
    QByteArrayList out;
    for (const QByteArray& f : log.frames)
        if (f.mid(3, 2) == command) {
            const auto r = bus::decodeRequest(f);
            out << (r ? r->payload : QByteArray("?"));
        }
    return out;
}
