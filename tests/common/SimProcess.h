#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// orvant2-sim as the engineer runs it, serving a pseudo-terminal (ORVANT_SIM_BIN
// names the program).

// Starts it on linkPath and waits for its "ready" line.
inline bool startSimulator(QProcess& sim, const QString& linkPath, const QString& scenario) {
    QStringList args{QStringLiteral("--link"), linkPath};
    if (!scenario.isEmpty())
        args << QStringLiteral("--scenario") << scenario;
    sim.start(QStringLiteral(ORVANT_SIM_BIN), args);
    if (!sim.waitForReadyRead(10000))
        return false;
    return sim.readLine().trimmed() == "ready " + linkPath.toUtf8();
}

// The simulator on tty, stopped at the latest when the test ends, so that a
// failed check leaves no simulator behind.
struct SimProcess {
    explicit SimProcess(const QString& ttyPath) : tty(ttyPath) {}
    ~SimProcess() { stop(); }
    bool start(const QString& scenario = {}) { return startSimulator(process, tty, scenario); }
    bool stop() {
        if (process.state() == QProcess::NotRunning)
            return true;
        process.terminate();
        return process.waitForFinished(5000);
    }

    QString tty;
    QProcess process;
};
