#include "sim/TcpLineServer.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace sim {

TcpLineServer::TcpLineServer(std::shared_ptr<Installation> installation, bool wireTime)
    : m_line(std::move(installation), wireTime), m_server(std::make_unique<QTcpServer>()) {}

TcpLineServer::~TcpLineServer() = default;

bool TcpLineServer::start(const QString& where, QString* error) {
    const qsizetype colon = where.lastIndexOf(QLatin1Char(':'));
    const QString host = colon < 0 ? QStringLiteral("127.0.0.1") : where.left(colon);
    bool ok = false;
    const int port = where.mid(colon + 1).toInt(&ok);
    if (!ok || port < 0 || port > 65535) {
        *error = QStringLiteral("--tcp: нужен порт или HOST:PORT");
        return false;
    }
    if (!m_server->listen(QHostAddress(host), static_cast<quint16>(port))) {
        *error = QStringLiteral("%1: %2").arg(where, m_server->errorString());
        return false;
    }
    return true;
}

QString TcpLineServer::url() const {
    return QStringLiteral("tcp://%1:%2")
        .arg(m_server->serverAddress().toString())
        .arg(m_server->serverPort());
}

void TcpLineServer::run(const std::atomic<bool>& stop) {
    while (!stop) {
        if (m_server->waitForNewConnection(m_client ? 0 : 20))
            while (QTcpSocket* s = m_server->nextPendingConnection()) {
                m_client.reset(s);
                m_client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                // A new connection starts on a quiet line.
                m_line.purge();
            }
        if (m_client) {
            if (m_client->state() != QAbstractSocket::ConnectedState) {
                m_client.reset();
                continue;
            }
            m_client->waitForReadyRead(2);
            relay();
        }
    }
}

void TcpLineServer::relay() {
    const QByteArray in = m_client->readAll();
    if (!in.isEmpty())
        m_line.write(in.constData(), in.size());
    char out[256];
    qint64 n = 0;
    bool wrote = false;
    while ((n = m_line.read(out, sizeof out)) > 0) {
        m_client->write(out, n);
        wrote = true;
    }
    if (wrote)
        m_client->waitForBytesWritten(100);
}

} // namespace sim
