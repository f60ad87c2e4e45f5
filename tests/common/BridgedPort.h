#pragma once

#include "common/TcpBridge.h"
#include "link/TcpPortDevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>

// The link's end of a TcpBridge on virtual time. Every character goes
// through the real TcpPortDevice and the loopback connection; the clock is
// the far line's, and it may jump only once everything on its way has
// crossed the connection, so that a silent device costs nothing here either
// and a wait sees the line as it is at that moment.
class BridgedPort final : public bus::PortDevice {
  public:
    // Connects to the bridge, which must be listening; nothing on failure.
    static std::unique_ptr<BridgedPort> open(TcpBridge& bridge) {
        bus::PortOpenError error;
        auto port = bus::TcpPortDevice::open(bridge.url(), error, {});
        if (!port)
            return nullptr;
        return std::unique_ptr<BridgedPort>(new BridgedPort(std::move(port), bridge));
    }

    QString name() const override { return m_port->name(); }
    bool isOpen() const override { return m_port->isOpen(); }
    void close() override { m_port->close(); }
    void purge() override {
        settle();
        m_in.clear();
        m_port->purge();
    }
    bool write(const char* data, qsizetype size) override {
        const bool ok = m_port->write(data, size);
        if (ok)
            m_sent += static_cast<quint64>(size);
        settle();
        return ok;
    }
    // The far line's transmitter counts as the direct harness counts it, so
    // that a bound in line time means the same on both transports.
    qint64 bytesToWrite() override {
        settle();
        return m_port->bytesToWrite() + m_bridge.line().bytesToWrite();
    }
    qint64 read(char* data, qint64 max) override {
        settle();
        const qint64 n = std::min<qint64>(max, m_in.size());
        std::copy(m_in.constData(), m_in.constData() + n, data);
        m_in.remove(0, n);
        return n;
    }
    // As on the direct line, characters already here are no news.
    void waitForActivity(int ms) override {
        settle();
        if (!isOpen())
            return;
        m_bridge.line().waitForActivity(ms);
        settle();
    }
    qint64 clockMs() const override { return m_bridge.line().clockMs(); }
    int extraLatencyMs() const override { return m_port->extraLatencyMs(); }
    bool timesAnswers() const override { return m_port->timesAnswers(); }
    void answerTimed(int ms) override { m_port->answerTimed(ms); }

  private:
    BridgedPort(std::unique_ptr<bus::TcpPortDevice> port, TcpBridge& bridge)
        : m_port(std::move(port)), m_bridge(bridge) {}

    // Until the far line has every character sent and we have every one it
    // passed on, or the connection is gone. On loopback that is at once; a
    // connection that loses characters is a broken test bed, not a result.
    // With nothing on its way over a live connection no event is waited for.
    void settle() {
        QElapsedTimer spent;
        spent.start();
        for (;;) {
            m_bridge.relay();
            char chunk[256];
            for (qint64 n; (n = m_port->read(chunk, sizeof chunk)) > 0;) {
                m_in.append(chunk, n);
                m_received += static_cast<quint64>(n);
            }
            const bool crossed = m_bridge.taken() == m_sent && m_bridge.passed() == m_received;
            if (!isOpen() || (crossed && m_bridge.connected()))
                return;
            if (spent.elapsed() > kStuckMs)
                qFatal("BridgedPort: characters stuck on the loopback connection");
            QCoreApplication::processEvents();
        }
    }
    static constexpr int kStuckMs = 30000;

    std::unique_ptr<bus::TcpPortDevice> m_port;
    TcpBridge& m_bridge;
    QByteArray m_in;
    quint64 m_sent = 0;
    quint64 m_received = 0;
};
