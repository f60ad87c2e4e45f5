#include "tst_files.h"

#include "app/ConfigFile.h"
#include "app/FileReader.h"
#include "app/FileWriter.h"
#include "common/FullDisk.h"
#include "common/TestFiles.h"

#include <QtTest>

#include <sys/stat.h>
#include <sys/wait.h>

Q_DECLARE_METATYPE(app::FileFault)

namespace {

// Temporary files of the writer left in a folder.
QStringList leftovers(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden);
}

// The pid of a process that has ended.
qint64 deadPid() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

} // namespace

void TestFiles::writesWholeFiles() {
    QTemporaryDir dir;
    const QString path = putFile(dir, "t.bin", "old");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ReadGroup);
    // A temporary file a killed writer left, and one of another writer
    // still at work (this process).
    const QString dead = dir.filePath(QStringLiteral(".t.bin.%1-1.tmp").arg(deadPid()));
    const QString alive =
        dir.filePath(QStringLiteral(".t.bin.%1-999.tmp").arg(QCoreApplication::applicationPid()));
    putFile(dir, qPrintable(QFileInfo(dead).fileName()), "half");
    putFile(dir, qPrintable(QFileInfo(alive).fileName()), "busy");
    const QByteArray bytes(100000, 'n');
    QVERIFY(app::writeFileAtomically(path, bytes).ok());
    QCOMPARE(fileBytes(path), bytes);
    QCOMPARE(QFile::permissions(path) & 0x7077, // owner, group, others
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    QVERIFY(!QFile::exists(dead));
    QVERIFY(QFile::exists(alive));
    QFile::remove(alive);
    // Through a link the file it names is replaced; the link stays.
    const QString link = dir.filePath(QStringLiteral("link.bin"));
    QVERIFY(QFile::link(path, link));
    QVERIFY(app::writeFileAtomically(link, "via link").ok());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(fileBytes(path), QByteArray("via link"));
    QCOMPARE(leftovers(dir.path()), QStringList());
}

void TestFiles::refusedWriteLeavesTheOldFile_data() {
    QTest::addColumn<QString>("where");
    QTest::newRow("full disk") << "full";
    QTest::newRow("read-only disk") << "read-only";
    QTest::newRow("a folder where the file should be") << "folder";
    QTest::newRow("missing folder") << "no folder";
}

void TestFiles::refusedWriteLeavesTheOldFile() {
    QFETCH(QString, where);
    FullDisk disk(where == QLatin1String("read-only"));
    QVERIFY(disk.isValid());
    if (where == QLatin1String("read-only") && !disk.mounted())
        QSKIP("a read-only file system needs root");
    QString path = disk.filePath(QStringLiteral("t.bin"));
    app::FileFault expected = disk.expectedFault();
    const QByteArray old(5000, 'o');
    if (where == QLatin1String("full")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(old), old.size());
        f.close();
        disk.fill();
    } else if (where == QLatin1String("read-only")) {
        expected = app::FileFault::ReadOnlyFs;
    } else if (where == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
        expected = app::FileFault::NotAFile;
    } else {
        path = disk.filePath(QStringLiteral("gone/t.bin"));
        expected = app::FileFault::NoFolder;
    }
    const QStringList before = disk.files();
    const app::FileResult r = app::writeFileAtomically(path, QByteArray(20000, 'n'));
    disk.release();
    QCOMPARE(r.fault, expected);
    QVERIFY(r.message().startsWith(path + QStringLiteral(": ")));
    QVERIFY(r.message().endsWith(app::fileFaultText(expected)));
    QCOMPARE(disk.files(), before);
    if (where == QLatin1String("full"))
        QCOMPARE(fileBytes(path), old);
}

void TestFiles::killedWriterLeavesOldOrNew() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.bin"));
    const QByteArray a(300000, 'a');
    const QByteArray b(200000, 'b');
    QVERIFY(app::writeFileAtomically(path, a).ok());
    for (int round = 0; round < 20; ++round) {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                app::writeFileAtomically(path, i % 2 ? a : b);
        }
        ::usleep(500 + 700 * round);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const QByteArray now = fileBytes(path);
        QVERIFY(now == a || now == b);
        // What the killed writer left goes with the next write.
        QVERIFY(app::writeFileAtomically(path, a).ok());
        QCOMPARE(leftovers(dir.path()), QStringList());
    }
}

void TestFiles::readerRefuses_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<app::FileFault>("fault");
    QTest::newRow("regular") << "regular" << app::FileFault::None;
    QTest::newRow("missing") << "missing" << app::FileFault::Missing;
    QTest::newRow("folder") << "folder" << app::FileFault::NotAFile;
    QTest::newRow("FIFO without a writer") << "fifo" << app::FileFault::NotAFile;
    QTest::newRow("/dev/zero") << "zero" << app::FileFault::NotAFile;
    QTest::newRow("larger than the format") << "large" << app::FileFault::TooLarge;
    QTest::newRow("link to a FIFO") << "link" << app::FileFault::NotAFile;
}

void TestFiles::readerRefuses() {
    QFETCH(QString, kind);
    QFETCH(app::FileFault, fault);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("f"));
    if (kind == QLatin1String("regular"))
        putFile(dir, "f", "1234");
    else if (kind == QLatin1String("folder"))
        QDir().mkpath(path);
    else if (kind == QLatin1String("fifo") || kind == QLatin1String("link"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == QLatin1String("zero"))
        path = QStringLiteral("/dev/zero");
    else if (kind == QLatin1String("large"))
        putFile(dir, "f", QByteArray(1025, 'x'));
    if (kind == QLatin1String("link")) {
        QVERIFY(QFile::link(path, dir.filePath(QStringLiteral("l"))));
        path = dir.filePath(QStringLiteral("l"));
    }
    // A FIFO would block an ordinary open for good: the test would hang.
    const app::FileRead r = app::readRegularFile(path, 1024);
    QCOMPARE(r.result.fault, fault);
    QCOMPARE(r.bytes, fault == app::FileFault::None ? QByteArray("1234") : QByteArray());
}

void TestFiles::outputFolderWhenTheProgramsCannotBeWritten() {
    QTemporaryDir dir;
    QCOMPARE(app::writableFolder(dir.path()), dir.path());
    FullDisk readOnly(true);
    if (!readOnly.mounted())
        QSKIP("a read-only file system needs root");
    QStandardPaths::setTestModeEnabled(true);
    const QString other = app::writableFolder(readOnly.path());
    QStandardPaths::setTestModeEnabled(false);
    QVERIFY(other != readOnly.path());
    QVERIFY(QFileInfo(other).isDir() && QFileInfo(other).isWritable());
}

void TestFiles::configurationOnAFullDisk() {
    FullDisk disk;
    QVERIFY(disk.isValid());
    const QString path = disk.filePath(QStringLiteral("orvant2.cfg"));
    app::ConfigFile cfg(path);
    QVERIFY(cfg.write({{QStringLiteral("KIP_TYP"), QStringLiteral("1")}}));
    const QByteArray before = fileBytes(path);
    disk.fill();
    QString error;
    const bool written =
        cfg.write({{QStringLiteral("MAIN_PORT"), QStringLiteral("/dev/ttyS0")}}, &error);
    disk.release();
    QVERIFY(!written);
    QCOMPARE(error, path + QStringLiteral(": ") + app::fileFaultText(disk.expectedFault()));
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(disk.files(), QStringList{QStringLiteral("orvant2.cfg")});
}

// The room asked for before a long walk over the line: it leaves nothing
// behind, refuses what the write would refuse, and allows what fits.
void TestFiles::roomAskedBeforeTheWork() {
    FullDisk disk;
    QVERIFY(disk.isValid());
    const QString path = disk.filePath(QStringLiteral("s.json"));
    QVERIFY(app::checkRoomFor(path, 20000).ok());
    QVERIFY(disk.files().isEmpty());
    QCOMPARE(app::checkRoomFor(disk.filePath(QStringLiteral("no/s.json")), 10).fault,
             app::FileFault::NoFolder);
    QCOMPARE(app::checkRoomFor(disk.path(), 10).fault, app::FileFault::NotAFile);
    disk.fill();
    const QStringList filled = disk.files();
    QCOMPARE(app::checkRoomFor(path, 20000).fault, disk.expectedFault());
    disk.release();
    QCOMPARE(disk.files(), filled);
}

void TestFiles::configurationThatIsAPipe() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("orvant2.cfg"));
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    app::ConfigFile cfg(path);
    QVERIFY(cfg.read().empty());
    QString error;
    QVERIFY(!cfg.write({{QStringLiteral("KIP_TYP"), QStringLiteral("1")}}, &error));
    QCOMPARE(error, path + QStringLiteral(": НЕ ФАЙЛ"));
    QVERIFY(QFileInfo(path).isFile() == false);
}
