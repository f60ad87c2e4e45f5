#include "cli/tst_read_only_cli.h"

#include "cli/CliRun.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>

namespace {

const QString kRefusal = QStringLiteral("ТОЛЬКО ЧТЕНИЕ: запись не отправлена");

// The commands on the line, as the usage lists them.
QStringList lineCommands() {
    const Run help = runCli({QStringLiteral("--help")});
    const QString text = help.out;
    const qsizetype from = text.indexOf(QStringLiteral("команды на линии:"));
    const qsizetype to = text.indexOf(QStringLiteral("команды с файлами"));
    QStringList names;
    static const QRegularExpression first(QStringLiteral("^  (\\S+)"),
                                          QRegularExpression::MultilineOption);
    auto it = first.globalMatch(text.mid(from, to - from));
    while (it.hasNext())
        names << it.next().captured(1);
    names.removeDuplicates();
    return names;
}

} // namespace

// Every command on the line, each of its forms that writes and one that
// reads, with --read-only against orvant2-sim reporting every request that
// changes a device: the writing forms end with the refusal and exit 2
// before the port is opened, the reading ones work, and the devices hear
// no writing request at all. Then one write without read-only, to show the
// report would have told.
void TestReadOnlyCli::everyCommandReadOnly() {
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "line.txt", kOneController);
    const QString config = putFile(dir, "o.cfg", kOneControllerLayout);
    const QString hex = putFile(dir, "fw.hex", hexImage());
    const QString table = putFile(dir, "t.vlm", tableText());
    const QString tty = dir.filePath(QStringLiteral("tty"));
    SimProcess sim(tty);
    sim.process.start(QStringLiteral(ORVANT_SIM_BIN),
                      {QStringLiteral("--link"), tty, QStringLiteral("--scenario"), scenario,
                       QStringLiteral("--report-writes")});
    QVERIFY(sim.process.waitForReadyRead(10000));
    QCOMPARE(sim.process.readLine().trimmed(), "ready " + tty.toUtf8());

    const QString snapshot = dir.filePath(QStringLiteral("s.json"));
    const QString id = QStringLiteral("10E8C3A401080065");
    const QString meterId = QStringLiteral("445370540000AB70");
    struct Row {
        QString words;
        bool writes;
    };
    const QList<Row> rows = {
        {"scan", false},
        {"status", false},
        {"health", false},
        {"sensor 2 get", false},
        {"sensor 2 thermometers --search", false},
        {"sensor 2 densitymeters", false},
        {"alarm 2 get", false},
        {"alarm 2 state", false},
        {"alarm 2 ramtest", false},
        {"controller 1 get", false},
        {"controller 1 status", false},
        {"density 2 --search", false},
        {"flash emergency 1 get", false},
        {"tables 1 list", false},
        {"tables 1 read 1 " + dir.filePath(QStringLiteral("r.vlm")), false},
        {"diagram 2 --no-references", false},
        {"snapshot " + snapshot, false},
        {"restore " + snapshot + " --dry-run", false},
        {"db-save " + dir.filePath(QStringLiteral("u.dbf")) + " sensor 2", false},
        {"set-address 3", true},
        {"sensor 2 set size=1000", true},
        {"sensor 2 thermometer 1 " + id + " 1500", true},
        {"sensor 2 densitymeter 1 " + meterId + " 700", true},
        {"alarm 2 set fuel-max=1500", true},
        {"alarm 2 off 1", true},
        {"controller 1 set interval=12", true},
        {"density 2 --meter 1 set-correction 1.5", true},
        {"density 2 --meter 1 --init", true},
        {"flash controller 1 " + hex, true},
        {"flash keyboard 1 " + hex, true},
        {"flash sensor 2 " + hex, true},
        {"flash emergency 1 on", true},
        {"tables 1 write 1=" + table, true},
        {"tables 1 clear", true},
        {"restore " + snapshot + " --yes", true},
        {"db-load " + dir.filePath(QStringLiteral("u.dbf")) + " sensor 2", true},
    };
    QStringList covered;
    for (const Row& row : rows) {
        const QStringList words = row.words.split(QLatin1Char(' '));
        covered << words.first();
        const Run r = runCli(QStringList{"--port", tty, "--config", config, "--read-only"} + words);
        const QByteArray what = row.words.toUtf8() + ": " + r.err.toUtf8();
        QVERIFY2(r.exitCode >= 0, what.constData());
        if (row.writes) {
            QVERIFY2(r.exitCode == 2, what.constData());
            QVERIFY2(r.err.contains(kRefusal), what.constData());
            QVERIFY2(r.out.isEmpty(), what.constData());
        } else {
            QVERIFY2(!r.err.contains(kRefusal), what.constData());
        }
        const QByteArray heard = sim.process.readAllStandardOutput();
        QVERIFY2(!heard.contains("write "), (what + " " + heard).constData());
    }
    QVERIFY(QFile::exists(snapshot));
    {
        // The watcher only polls: with read-only it polls as before.
        const QString sites = putFile(dir, "sites.cfg",
                                      "[A]\nline=" + tty.toUtf8() + "\nevery=1\n" +
                                          QByteArray(kOneControllerLayout));
        QProcess watch;
        watch.start(QStringLiteral(ORVANT_CLI_BIN),
                    {"--read-only", "--sites", sites, "watch", "--log", dir.filePath("w.sqlite")});
        QString out;
        const QDeadlineTimer deadline(30000);
        while (!out.contains(QStringLiteral("опрошено")) && !deadline.hasExpired() &&
               watch.state() != QProcess::NotRunning) {
            watch.waitForReadyRead(100);
            out += QString::fromUtf8(watch.readAllStandardOutput());
        }
        QVERIFY2(out.contains(QStringLiteral("опрошено")),
                 qPrintable(out + QString::fromUtf8(watch.readAllStandardError())));
        ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
        QVERIFY(watch.waitForFinished(30000));
        QCOMPARE(watch.exitCode(), 0);
        covered << QStringLiteral("watch");
        const QByteArray heard = sim.process.readAllStandardOutput();
        QVERIFY2(!heard.contains("write "), heard.constData());
    }
    for (const QString& command : lineCommands())
        QVERIFY2(covered.contains(command), qPrintable(command));

    // The same write without read-only reaches the controller, and is told.
    const Run written =
        runCli({"--port", tty, "--config", config, "controller", "1", "set", "interval=12"});
    QCOMPARE(written.exitCode, 0);
    QTRY_VERIFY(sim.process.waitForReadyRead(100) || sim.process.bytesAvailable() > 0);
    QVERIFY(sim.process.readAllStandardOutput().contains("write @8003"));
}
