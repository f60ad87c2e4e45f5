#pragma once

#include "common/SimProcess.h"
#include "common/TestFiles.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <cstdint>

// The command-line tool and the pseudo-terminal simulator as the tests run them.

// A calibration table file of 71 rows (0..70 cm), CR LF, as the editor
// writes one.
inline QByteArray tableText() {
    QByteArray table = ";\r\n;  table\r\n;\r\n";
    for (int row = 0; row <= 70; ++row)
        table += QStringLiteral("%1=\t%2.%3\t\t0.0012\r\n")
                     .arg(row)
                     .arg(row / 10)
                     .arg(row % 10 * 1000, 4, 10, QLatin1Char('0'))
                     .toLatin1();
    return table;
}

// An Intel HEX file of 3000 bytes with a version marker, 16 bytes a record.
inline QByteArray hexImage(const QByteArray& version = "REV VQM 5.02 KIP-N6") {
    QByteArray data(3000, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 13 + 5) & 0xFF);
    data.replace(16, version.size() + 1, version + '\0');
    QByteArray out;
    for (int at = 0; at < data.size(); at += 16) {
        QByteArray record;
        const QByteArray chunk = data.mid(at, 16);
        record += char(chunk.size());
        record += char(at >> 8);
        record += char(at);
        record += '\0';
        record += chunk;
        int sum = 0;
        for (char c : record)
            sum += static_cast<std::uint8_t>(c);
        record += char(-sum);
        out += ':' + record.toHex().toUpper() + "\r\n";
    }
    return out + ":00000001FF\r\n";
}

// Before --simulate: the simulated line on a clock of its own, for the
// tests that try outcomes, texts and the wire, not the line's timing; their
// waits for silent devices cost nothing.
inline const QString kVirtualTime = QStringLiteral("--virtual-time");

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs orvant2-cli and waits up to waitMs for it to end.
inline Run runCli(const QStringList& args, int waitMs = 60000) {
    QProcess p;
    p.start(QStringLiteral(ORVANT_CLI_BIN), args);
    Run r;
    if (!p.waitForFinished(waitMs)) {
        p.kill();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// orvant2-sim serving a pseudo-terminal in dir with a scenario.
struct Simulator : SimProcess {
    Simulator(const QTemporaryDir& dir, const QString& scenario)
        : SimProcess(dir.filePath(QStringLiteral("tty"))) {
        started = start(scenario);
    }
    bool started = false;
};

// The installation most tests need: one controller of type 1 at address 0
// with sensors 0..3, and the layout that names it.
constexpr const char* kOneController = "type 1\ncontroller 0 0 4\n";
constexpr const char* kOneControllerLayout = "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n";

// orvant2-sim on a pseudo-terminal with its scenario and layout files, in a
// directory of its own; words() puts the port and the layout before a command.
struct SimulatedLine {
    explicit SimulatedLine(const QByteArray& scenarioText = kOneController,
                           const QByteArray& layoutText = kOneControllerLayout)
        : scenario(putFile(dir, "line.txt", scenarioText)),
          config(putFile(dir, "o.cfg", layoutText)), sim(dir, scenario) {}
    QStringList words(const QStringList& command) const {
        return QStringList{QStringLiteral("--port"), sim.tty, QStringLiteral("--config"), config} +
               command;
    }
    QTemporaryDir dir;
    QString scenario;
    QString config;
    Simulator sim;
};

// orvant2-cli broken off by a signal as soon as its standard error shows
// shown (a trace line): what it had written by then, and in all.
struct Signalled {
    bool reached = false; // shown came while it still ran, and the signal went
    bool finished = false;
    QProcess::ExitStatus status = QProcess::CrashExit;
    int exitCode = -1;
    qsizetype signalledAt = 0; // the length of err when the signal went
    QString out;
    QString err;
};
inline Signalled signalWhenShown(const QStringList& args, const QString& shown, int signal) {
    QProcess cli;
    cli.start(QStringLiteral(ORVANT_CLI_BIN), args);
    Signalled r;
    const QDeadlineTimer deadline(30000);
    while (!r.err.contains(shown) && !deadline.hasExpired() &&
           cli.state() != QProcess::NotRunning) {
        cli.waitForReadyRead(100);
        r.err += QString::fromUtf8(cli.readAllStandardError());
    }
    r.reached = r.err.contains(shown) && cli.state() == QProcess::Running;
    if (r.reached)
        ::kill(static_cast<pid_t>(cli.processId()), signal);
    r.signalledAt = r.err.size();
    r.finished = cli.waitForFinished(30000);
    r.err += QString::fromUtf8(cli.readAllStandardError());
    r.out = QString::fromUtf8(cli.readAllStandardOutput());
    r.status = cli.exitStatus();
    r.exitCode = cli.exitCode();
    return r;
}
