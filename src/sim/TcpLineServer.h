#pragma once

#include "sim/SimulatedLine.h"

#include <QString>

#include <atomic>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace sim {

// Serves the simulated installation on a TCP port, as a serial-to-Ethernet
// converter in its TCP server mode serves a line: the line's characters as
// they are, one client at a time (a new one takes the line over).
class TcpLineServer {
  public:
    TcpLineServer(std::shared_ptr<Installation> installation, bool wireTime);
    ~TcpLineServer();

    // "PORT" or "HOST:PORT" (loopback when no host is given; port 0 takes a
    // free one). False with error set on failure.
    bool start(const QString& where, QString* error);
    // tcp://HOST:PORT of the listener.
    QString url() const;
    // Serves until stop becomes true.
    void run(const std::atomic<bool>& stop);

  private:
    void relay();

    SimulatedLine m_line;
    std::unique_ptr<QTcpServer> m_server;
    std::unique_ptr<QTcpSocket> m_client;
};

} // namespace sim
