#include "cli/tst_recordings.h"

#include "cli/CliRun.h"
#include "common/FullDisk.h"
#include "link/LineRecording.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QString kCorpus = QStringLiteral(ORVANT_SOURCE_DIR "/tests/recordings");

int modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

} // namespace

void TestRecordings::corpusReplaysAsRecorded_data() {
    QTest::addColumn<QString>("recording");
    const QStringList files =
        QDir(kCorpus).entryList({QStringLiteral("*.rec")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 14);
    for (const QString& f : files)
        QTest::newRow(qPrintable(f)) << kCorpus + QLatin1Char('/') + f;
}

// Each session of the corpus, run again by this version on its recorded
// answers: the same output, the same exit code.
void TestRecordings::corpusReplaysAsRecorded() {
    QFETCH(QString, recording);
    QString expected = QString::fromUtf8(fileBytes(recording.chopped(4) + ".expected"));
    const qsizetype firstLine = expected.indexOf(QLatin1Char('\n'));
    QVERIFY(expected.startsWith(QLatin1String("exit ")) && firstLine > 0);
    const int code = expected.mid(5, firstLine - 5).toInt();
    expected = expected.mid(firstLine + 1);
    const Run r = runCli({QStringLiteral("replay-check"), recording});
    QVERIFY2(!r.err.contains(QStringLiteral("запрос не записан")), qPrintable(r.err));
    QCOMPARE(r.out, expected);
    QCOMPARE(r.exitCode, code);
}

// A session recorded from orvant2-sim on a pseudo-terminal, with a sensor
// that answers with a wrong checksum: the file is private and holds every
// request with its decoding; orvant2-sim --replay serves it and the same
// command shows the same; a request it does not hold is said; replay-check
// shows the same too.
void TestRecordings::recordedSessionReplays() {
    SimulatedLine line("type 1\ncontroller 0 0 4\nsensor 1 fault=checksum\n");
    QVERIFY(line.sim.started);
    const QString recording = line.dir.filePath(QStringLiteral("site.rec"));
    const QStringList words{QStringLiteral("status")};
    const Run live = runCli(line.words({"--record", recording}) + words);
    QCOMPARE(live.exitCode, 1);
    QCOMPARE(modeOf(recording), 0600);
    const QByteArray text = fileBytes(recording);
    QVERIFY(text.startsWith(bus::kRecordingHeader));
    QVERIFY(text.contains("\tport\t\tname=" + line.sim.tty.toUtf8() + "; settings=9600 8N1"));
    // The full status of sensor 2 went out, as hex and decoded.
    QVERIFY(text.contains("\t>\t40303131433030"));
    QVERIFY(text.contains("датчик 2  ReadFullStatus"));
    QVERIFY(text.contains("!! ИСКАЖЁННЫЙ ОТВЕТ"));

    const QString tty = line.dir.filePath(QStringLiteral("replay-tty"));
    QProcess replay;
    replay.start(QStringLiteral(ORVANT_SIM_BIN),
                 {QStringLiteral("--link"), tty, QStringLiteral("--replay"), recording});
    QVERIFY(replay.waitForReadyRead(10000));
    QCOMPARE(replay.readLine().trimmed(), "ready " + tty.toUtf8());
    const Run again = runCli(QStringList{"--port", tty, "--config", line.config} + words);
    QCOMPARE(again.out, live.out);
    QCOMPARE(again.exitCode, live.exitCode);
    // Asked once more, the recording has no answers left: said, not guessed.
    const Run more = runCli(QStringList{"--port", tty, "--config", line.config} + words);
    QCOMPARE(more.exitCode, 1);
    replay.terminate();
    QVERIFY(replay.waitForFinished(5000));
    QVERIFY(replay.readAllStandardError().contains("orvant2-sim: запрос не записан: @"));

    const Run checked = runCli({QStringLiteral("replay-check"), recording});
    QCOMPARE(checked.out, live.out);
    QCOMPARE(checked.exitCode, live.exitCode);
}

// A recording that cannot be written: said before anything is sent (the
// file's folder full), exit 2, and nothing is left behind.
void TestRecordings::recordingOnAFullDisk() {
    FullDisk disk;
    QVERIFY(disk.isValid());
    disk.fill();
    const QString path = disk.filePath(QStringLiteral("site.rec"));
    const Run r = runCli({"--simulate", "--record", path, "scan"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(QStringLiteral("ЗАПИСЬ ОБМЕНА: ")), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    QVERIFY(!QFileInfo::exists(path));
}

// Not a recording, or one a window made (no command to run): refused, exit 2.
void TestRecordings::notARecording() {
    QTemporaryDir dir;
    const Run junk = runCli({"replay-check", putFile(dir, "x.rec", "KIP_TYP=1\n")});
    QCOMPARE(junk.exitCode, 2);
    QVERIFY(junk.err.contains(QStringLiteral("не запись обмена")));
    const Run window =
        runCli({"replay-check",
                putFile(dir, "w.rec",
                        bus::kRecordingHeader + "\n0\tport\t\tname=SIM; settings=9600 8N1\n")});
    QCOMPARE(window.exitCode, 2);
    QVERIFY(window.err.contains(QStringLiteral("нет команды orvant2-cli")));
    const Run broken =
        runCli({"replay-check", putFile(dir, "b.rec", bus::kRecordingHeader + "\nx\n")});
    QCOMPARE(broken.exitCode, 2);
    QVERIFY(broken.err.contains(QStringLiteral("строка 2")));
}
