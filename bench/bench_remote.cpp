// One ReadVersion transaction over a line behind ser2net on loopback, against
// the same line direct: orvant2-sim on a pseudo-terminal with 9600-baud wire
// time, ser2net in front of it with a raw and an RFC 2217 accepter, each
// with ser2net's default character delay and with it off. Prints the median
// each way, the ratio to the direct line, and the round trip the link
// measured at connect (added to every wait, never to an answer that came).
#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr int kRuns = 40;

quint16 freePort() {
    QTcpServer s;
    return s.listen(QHostAddress::LocalHost, 0) ? s.serverPort() : 0;
}

// Seen in the kernel's table: a trial connection would make ser2net hold the
// device and turn the next client away.
bool listening(quint16 port) {
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local =
        "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() > 3 && f[1] == local && f[3] == "0A")
            return true;
    }
    return false;
}

// ser2net keeps the device a while after a client leaves.
bool holds(qint64 pid, const QString& device) {
    const QDir dir(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString& fd : dir.entryList(QDir::Files | QDir::System))
        if (QFileInfo(dir.filePath(fd)).symLinkTarget() == device)
            return true;
    return false;
}

struct Result {
    double medianMs = 0;
    int roundTripMs = 0;
    int unanswered = 0;
};

// The median answered transaction on the port; nothing when it cannot open
// or nothing was answered.
std::optional<Result> measure(const QString& port) {
    bus::SerialLink link;
    if (!link.OpenPort(port)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(port), qPrintable(link.lastOpenError().text()));
        return std::nullopt;
    }
    std::vector<double> times;
    int unanswered = 0;
    for (int i = 0; i < kRuns + 3; ++i) {
        QElapsedTimer t;
        t.start();
        const bool answered =
            bus::AskController(link, 0x80, bus::ctl::ReadVersion, bus::Form::Read) > 0;
        // The first few open the far port and warm the caches.
        if (i < 3)
            continue;
        if (answered)
            times.push_back(t.nsecsElapsed() / 1e6);
        else
            ++unanswered;
    }
    if (times.empty()) {
        std::fprintf(stderr, "%s: nothing answered\n", qPrintable(port));
        return std::nullopt;
    }
    std::sort(times.begin(), times.end());
    return Result{times[times.size() / 2], link.extraLatencyMs(), unanswered};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString tty = dir.filePath(QStringLiteral("tty"));
    QProcess sim;
    sim.start(QStringLiteral(ORVANT_SIM_BIN),
              {QStringLiteral("--link"), tty, QStringLiteral("--wire-time")});
    if (!sim.waitForReadyRead(10000)) {
        std::fprintf(stderr, "orvant2-sim did not start\n");
        return 1;
    }
    const QString device = QFileInfo(tty).canonicalFilePath();
    struct Far {
        const char* what;
        const char* scheme;
        bool delay;
        quint16 port = 0;
    };
    std::vector<Far> fars{{"raw, chardelay on (default)", "tcp", true},
                          {"raw, chardelay off", "tcp", false},
                          {"rfc2217, chardelay on (default)", "rfc2217", true},
                          {"rfc2217, chardelay off", "rfc2217", false}};
    QByteArray config;
    for (Far& f : fars) {
        f.port = freePort();
        config += "connection: &c" + QByteArray::number(f.port) +
                  "\n  accepter: " + (QByteArray(f.scheme) == "tcp" ? "" : "telnet(rfc2217),") +
                  "tcp,127.0.0.1," + QByteArray::number(f.port) + "\n  connector: serialdev," +
                  device.toUtf8() + ",9600n81,local\n" +
                  (f.delay ? "" : "  options:\n    chardelay: false\n");
    }
    QFile yaml(dir.filePath(QStringLiteral("ser2net.yaml")));
    if (!yaml.open(QIODevice::WriteOnly) || yaml.write(config) != config.size())
        return 1;
    yaml.close();
    QProcess ser2net;
    ser2net.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ser2net.start(QStringLiteral("ser2net"), {QStringLiteral("-n"), QStringLiteral("-d"),
                                              QStringLiteral("-c"), yaml.fileName()});
    if (!ser2net.waitForStarted()) {
        std::fprintf(stderr, "ser2net did not start (is it installed?)\n");
        return 1;
    }
    QElapsedTimer start;
    start.start();
    while (!std::all_of(fars.begin(), fars.end(), [](const Far& f) { return listening(f.port); })) {
        if (start.elapsed() > 10000 || ser2net.state() != QProcess::Running) {
            std::fprintf(stderr, "ser2net does not listen\n");
            return 1;
        }
        QThread::msleep(20);
    }

    const auto direct = measure(tty);
    if (!direct)
        return 1;
    std::printf("ReadVersion transaction, orvant2-sim at 9600 baud wire time, %d runs each\n",
                kRuns);
    std::printf("  %-34s median %6.2f ms, %d unanswered\n", "direct pseudo-terminal",
                direct->medianMs, direct->unanswered);
    for (const Far& f : fars) {
        while (holds(ser2net.processId(), device))
            QThread::msleep(20);
        const auto r = measure(QStringLiteral("%1://127.0.0.1:%2").arg(f.scheme).arg(f.port));
        if (!r)
            return 1;
        const double target = 1.05 * direct->medianMs + r->roundTripMs;
        std::printf("  %-34s median %6.2f ms, ratio %.3f, round trip %d ms, "
                    "target 1.05 x direct + round trip = %.2f ms: %s, %d unanswered\n",
                    f.what, r->medianMs, r->medianMs / direct->medianMs, r->roundTripMs, target,
                    r->medianMs <= target ? "met" : "NOT met", r->unanswered);
    }
    ser2net.kill();
    ser2net.waitForFinished();
    sim.terminate();
    sim.waitForFinished();
    return 0;
}
