#pragma once

#include <QHostAddress>
#include <QString>
#include <QTcpServer>

#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// A loopback port nobody listens on: a connect there is refused at once.
inline quint16 refusingPort() {
    QTcpServer s;
    return s.listen(QHostAddress::LocalHost, 0) ? s.serverPort() : 0;
}

// A loopback address that swallows connects: a listening socket that never
// accepts, its queue filled, so that the kernel drops every further SYN
// and a client waits as for a host that is switched off.
class BlackHole {
  public:
    BlackHole() {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&a), length) != 0 ||
            ::listen(m_listener, 0) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &length) != 0)
            return;
        m_port = ntohs(a.sin_port);
        // Fillers until one is left hanging: the queue is full from then on.
        for (int i = 0; i < 8; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            ::fcntl(fd, F_SETFL, O_NONBLOCK);
            m_fillers.push_back(fd);
            ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 300) == 0) {
                m_full = true;
                return;
            }
        }
    }
    ~BlackHole() {
        for (int fd : m_fillers)
            ::close(fd);
        if (m_listener >= 0)
            ::close(m_listener);
    }
    BlackHole(const BlackHole&) = delete;
    BlackHole& operator=(const BlackHole&) = delete;

    // Whether connects to it now hang.
    bool ready() const { return m_full; }
    QString url(const QString& scheme = QStringLiteral("tcp")) const {
        return QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(m_port);
    }

  private:
    int m_listener = -1;
    quint16 m_port = 0;
    std::vector<int> m_fillers;
    bool m_full = false;
};
