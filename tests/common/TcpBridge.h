#pragma once

#include "sim/SimulatedLine.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>
#include <memory>

// A remote line inside the test: a loopback listener whose connection leads
// to an in-process installation, as ser2net leads to a serial port. It runs
// on the event loop, which the link's pump keeps turning. On virtual time
// the line's clock is moved by the link's end (BridgedPort), and only once
// nothing is on its way through the connection.
class TcpBridge : public QObject {
  public:
    enum class Time { Real, Virtual };

    explicit TcpBridge(std::shared_ptr<sim::Installation> installation, Time time = Time::Real)
        : m_line(std::move(installation), time == Time::Virtual, time == Time::Virtual) {
        connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
        connect(&m_relay, &QTimer::timeout, this, [this] { relay(); });
        m_relay.start(1);
        m_clock.start();
    }
    bool listen(quint16 port = 0) { return m_server.listen(QHostAddress::LocalHost, port); }
    quint16 port() const { return m_server.serverPort(); }
    QString url() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(port()); }
    // The far end switched off: the connection dropped, nobody listening.
    void drop() {
        m_server.close();
        if (m_client)
            m_client->abort();
    }
    sim::SimulatedLine& line() { return m_line; }
    // Holds every character this long on its way, each way: a network that
    // slows down (real time only).
    void setDelay(int ms) { m_delayMs = ms; }
    bool connected() const {
        return m_client && m_client->state() == QAbstractSocket::ConnectedState;
    }
    // Characters taken from the connection onto the line, and passed from
    // the line into the connection, since the bridge was made.
    quint64 taken() const { return m_taken; }
    quint64 passed() const { return m_passed; }
    // Moves what is there (and has been held long enough) in both
    // directions; the timer calls it too.
    void relay() {
        if (!m_client || m_client->state() != QAbstractSocket::ConnectedState)
            return;
        const qint64 now = m_clock.elapsed();
        if (QByteArray in = m_client->readAll(); !in.isEmpty())
            m_toLine.push_back({now, in});
        for (; !m_toLine.empty() && now - m_toLine.front().at >= m_delayMs; m_toLine.pop_front()) {
            const QByteArray& in = m_toLine.front().bytes;
            m_line.write(in.constData(), in.size());
            m_taken += static_cast<quint64>(in.size());
        }
        char out[256];
        for (qint64 n = 0; (n = m_line.read(out, sizeof out)) > 0;)
            m_toClient.push_back({now, QByteArray(out, n)});
        bool wrote = false;
        for (; !m_toClient.empty() && now - m_toClient.front().at >= m_delayMs;
             m_toClient.pop_front()) {
            const QByteArray& bytes = m_toClient.front().bytes;
            m_client->write(bytes);
            m_passed += static_cast<quint64>(bytes.size());
            wrote = true;
        }
        if (wrote)
            m_client->flush();
    }

  private:
    void accept() {
        while (QTcpSocket* s = m_server.nextPendingConnection()) {
            if (m_client)
                m_client->deleteLater();
            m_client = s;
            m_client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            // A new connection starts on a quiet line.
            m_line.purge();
            m_toLine.clear();
            m_toClient.clear();
        }
    }

    sim::SimulatedLine m_line;
    QTcpServer m_server;
    QTimer m_relay;
    QPointer<QTcpSocket> m_client;
    struct Held {
        qint64 at;
        QByteArray bytes;
    };
    std::deque<Held> m_toLine;
    std::deque<Held> m_toClient;
    QElapsedTimer m_clock;
    int m_delayMs = 0;
    quint64 m_taken = 0;
    quint64 m_passed = 0;
};
