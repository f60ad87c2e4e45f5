#include "sim/PtyServer.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

PtyServer::PtyServer(std::shared_ptr<Installation> installation, bool wireTime)
    : m_wire(std::move(installation), wireTime) {}

PtyServer::~PtyServer() {
    if (!m_linkPath.isEmpty())
        ::unlink(QFile::encodeName(m_linkPath).constData());
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyServer::start(const QString& linkPath, QString* error) {
    auto fail = [&](const char* what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                                  QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    };
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return fail("pseudo-terminal");
    const char* slaveName = ::ptsname(m_master);
    if (!slaveName)
        return fail("pseudo-terminal name");
    // Held open so the master never sees a hang-up between clients.
    m_slave = ::open(slaveName, O_RDWR | O_NOCTTY);
    if (m_slave < 0)
        return fail("pseudo-terminal slave");
    termios t{};
    if (::tcgetattr(m_slave, &t) == 0) {
        // Raw: no echo, no line editing, no CR translation.
        ::cfmakeraw(&t);
        ::tcsetattr(m_slave, TCSANOW, &t);
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    const QByteArray path = QFile::encodeName(linkPath);
    ::unlink(path.constData());
    if (::symlink(slaveName, path.constData()) != 0)
        return fail("link");
    m_linkPath = linkPath;
    return true;
}

void PtyServer::run(const std::atomic<bool>& stop) {
    char buf[512];
    while (!stop.load()) {
        int timeout = 200;
        const auto now = Wire::Clock::now();
        if (const auto next = m_wire.nextArrival()) {
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(*next - now).count();
            timeout = static_cast<int>(std::clamp<long long>(ms, 0, 200));
        }
        pollfd p{m_master, POLLIN, 0};
        const int r = ::poll(&p, 1, timeout);
        if (r < 0 && errno != EINTR)
            break;
        if (r > 0 && (p.revents & POLLIN)) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0)
                m_wire.send(QByteArrayView(buf, n), Wire::Clock::now());
        }
        const QByteArray out = m_wire.takeArrived(Wire::Clock::now());
        qsizetype done = 0;
        while (done < out.size()) {
            const ssize_t w = ::write(m_master, out.constData() + done, out.size() - done);
            if (w < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    pollfd wp{m_master, POLLOUT, 0};
                    ::poll(&wp, 1, 50);
                    continue;
                }
                break;
            }
            done += w;
        }
    }
}

} // namespace sim
