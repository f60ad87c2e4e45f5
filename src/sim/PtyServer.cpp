#include "sim/PtyServer.h"

#include <QFile>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {
namespace {

// Where a symbolic link points; empty for anything else.
QByteArray linkTarget(const QByteArray& path) {
    char target[512];
    const ssize_t n = ::readlink(path.constData(), target, sizeof target - 1);
    return n > 0 ? QByteArray(target, n) : QByteArray();
}

} // namespace

PtyServer::PtyServer(std::shared_ptr<Installation> installation, bool wireTime)
    : m_wire(std::move(installation), wireTime) {}

PtyServer::~PtyServer() {
    // Only our own link goes; whatever took its place stays.
    const QByteArray path = QFile::encodeName(m_linkPath);
    if (!m_linkPath.isEmpty() && linkTarget(path) == m_slaveName)
        ::unlink(path.constData());
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
    m_slaveName = slaveName;
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
    // A link to a pseudo-terminal is what an earlier run left; anything
    // else at the path is somebody's file and stays.
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode) || !linkTarget(path).startsWith("/dev/pts/")) {
            errno = EEXIST;
            return fail("link");
        }
        ::unlink(path.constData());
    }
    if (::symlink(slaveName, path.constData()) != 0)
        return fail("link");
    m_linkPath = linkPath;
    return true;
}

namespace {

// Whether a process other than this one has the file open.
bool openElsewhere(const QByteArray& path) {
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return true; // cannot tell: leave the terminal as it is
    const QByteArray self = QByteArray::number(::getpid());
    bool found = false;
    while (const dirent* e = ::readdir(proc)) {
        const QByteArray pid(e->d_name);
        if (found || pid == self || pid.isEmpty() || !std::isdigit(pid[0]))
            continue;
        const QByteArray fdDir = "/proc/" + pid + "/fd";
        DIR* fds = ::opendir(fdDir.constData());
        if (!fds)
            continue;
        while (const dirent* f = ::readdir(fds)) {
            char target[256];
            const QByteArray link = fdDir + '/' + f->d_name;
            const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
            if (n > 0 && QByteArray(target, n) == path) {
                found = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

} // namespace

void PtyServer::releaseLeftExclusivity() {
    if (!openElsewhere(m_slaveName))
        ::ioctl(m_slave, TIOCNXCL);
}

void PtyServer::run(const std::atomic<bool>& stop) {
    char buf[512];
    auto lastLook = std::chrono::steady_clock::now();
    while (!stop.load()) {
        if (std::chrono::steady_clock::now() - lastLook > std::chrono::milliseconds(300)) {
            lastLook = std::chrono::steady_clock::now();
            releaseLeftExclusivity();
        }
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
