#pragma once

#include "sim/SimulatedLine.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

// A remote line inside the test: a loopback listener whose connection leads
// to an in-process installation, as ser2net leads to a serial port. It runs
// on the event loop, which the link's pump keeps turning.
class TcpBridge : public QObject {
  public:
    explicit TcpBridge(std::shared_ptr<sim::Installation> installation)
        : m_installation(std::move(installation)) {
        connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
        connect(&m_relay, &QTimer::timeout, this, [this] { relay(); });
        m_relay.start(1);
    }
    bool listen(quint16 port = 0) { return m_server.listen(QHostAddress::LocalHost, port); }
    quint16 port() const { return m_server.serverPort(); }
    // The far end switched off: the connection dropped, nobody listening.
    void drop() {
        m_server.close();
        if (m_client)
            m_client->abort();
    }

  private:
    void accept() {
        while (QTcpSocket* s = m_server.nextPendingConnection()) {
            if (m_client)
                m_client->deleteLater();
            m_client = s;
            m_line = std::make_unique<sim::SimulatedLine>(m_installation, false);
        }
    }
    void relay() {
        if (!m_client || m_client->state() != QAbstractSocket::ConnectedState)
            return;
        const QByteArray in = m_client->readAll();
        if (!in.isEmpty())
            m_line->write(in.constData(), in.size());
        char out[256];
        for (qint64 n; (n = m_line->read(out, sizeof out)) > 0;)
            m_client->write(out, n);
    }

    std::shared_ptr<sim::Installation> m_installation;
    QTcpServer m_server;
    QTimer m_relay;
    QPointer<QTcpSocket> m_client;
    std::unique_ptr<sim::SimulatedLine> m_line;
};
