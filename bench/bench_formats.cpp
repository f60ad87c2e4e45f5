// The file readers against their peers, in one run on the same generated
// inputs: the HEX loader on a full 128 KiB image (hex2bin.py, srec_cat), the
// DBF reader over 10 000 records (dbfread), and the table converter on a
// 10 922-row table. Peers run as processes, so our command-line tool is timed
// as a process too; the in-process time of each reader is shown beside it.
#include "caltable/TableFile.h"
#include "db/DbfTable.h"
#include "firmware/FirmwareImage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRuns = 5;

double medianMs(const std::function<bool()>& run) {
    std::vector<double> t;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (!run())
            return -1;
        t.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

std::function<bool()> process(const QString& program, const QStringList& args) {
    return [=] {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(program, args);
        return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    };
}

void report(const char* what, double ours, const char* peer, double theirs) {
    if (theirs < 0)
        std::printf("  %-34s %8.1f ms   %-14s not available\n", what, ours, peer);
    else
        std::printf("  %-34s %8.1f ms   %-14s %8.1f ms   ratio %.2f\n", what, ours, peer, theirs,
                    ours / theirs);
}

QByteArray hexFile() {
    QByteArray text;
    for (int seg = 0; seg < 2; ++seg) {
        text += seg ? ":020000021000EC\n" : ":020000020000FC\n";
        for (int off = 0; off < 0x10000; off += 16) {
            QByteArray rec;
            rec.append(char(16)).append(char(off >> 8)).append(char(off & 0xFF)).append(char(0));
            for (int i = 0; i < 16; ++i)
                rec.append(char((seg * 0x10000 + off + i) * 31 & 0xFF));
            if (seg == 0 && off == 0x100)
                rec.replace(4, 4, "REV ");
            quint8 sum = 0;
            for (char c : rec)
                sum += quint8(c);
            rec.append(char(quint8(-sum)));
            text += ":" + rec.toHex().toUpper() + "\n";
        }
    }
    return text + ":00000001FF\n";
}

void makeDbf(const QString& path) {
    QFile::remove(path);
    db::DbfTable t(path);
    t.AddField("N_DU", 'C', 5, 0);
    t.AddField("TID1", 'C', 16, 0);
    t.AddField("H1", 'C', 5, 0);
    // Appending 10 000 records one by one would time the writer; build the
    // records directly instead.
    QFile f(path);
    f.open(QIODevice::ReadWrite);
    QByteArray all = f.readAll();
    all.chop(1); // end mark
    for (int i = 0; i < 10000; ++i)
        all += " " + QByteArray::number(i).leftJustified(5) +
               QByteArray("10").append(
                   QByteArray::number(i * 7919, 16).toUpper().rightJustified(14, '0')) +
               QByteArray::number(i % 3000).leftJustified(5);
    all[4] = char(10000 & 0xFF);
    all[5] = char(10000 >> 8);
    all += '\x1A';
    f.seek(0);
    f.write(all);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/orvant2-cli");
    const QString python = QStringLiteral("/usr/bin/python3");

    const QString hex = dir.filePath(QStringLiteral("full.hex"));
    {
        QFile f(hex);
        f.open(QIODevice::WriteOnly);
        f.write(hexFile());
    }
    std::printf("Intel HEX, 131072 bytes of data (%lld bytes of text)\n", QFileInfo(hex).size());
    const double hexIn = medianMs([&] {
        firmware::FirmwareImage image;
        return firmware::LoadControllerFirmware(hex, image).ok && image.end == 0x20000;
    });
    const double hexCli = medianMs(
        process(cli, {QStringLiteral("hex-bin"), hex, dir.filePath(QStringLiteral("a.bin"))}));
    const double hex2bin =
        QFile::exists(QStringLiteral("/usr/share/python3-intelhex/hex2bin.py"))
            ? medianMs(process(python, {QStringLiteral("/usr/share/python3-intelhex/hex2bin.py"),
                                        hex, dir.filePath(QStringLiteral("b.bin"))}))
            : -1;
    const double srec = medianMs(
        process(QStringLiteral("srec_cat"),
                {hex, QStringLiteral("-Intel"), QStringLiteral("-fill"), QStringLiteral("0xFF"),
                 QStringLiteral("0"), QStringLiteral("0x20000"), QStringLiteral("-o"),
                 dir.filePath(QStringLiteral("c.bin")), QStringLiteral("-Binary")}));
    std::printf("  in process: %.1f ms\n", hexIn);
    report("orvant2-cli hex-bin", hexCli, "hex2bin.py", hex2bin);
    report("orvant2-cli hex-bin", hexCli, "srec_cat", srec);

    const QString dbf = dir.filePath(QStringLiteral("sensors.dbf"));
    makeDbf(dbf);
    std::printf("dBASE table, 10000 records of 3 fields\n");
    const double dbfIn = medianMs([&] {
        db::DbfTable t(dbf);
        int n = 0;
        for (int i = 0; i < t.RecordCount(); ++i)
            if (t.ReadRecord(i))
                n += t.GetField("TID1").size() == 16;
        return n == 10000;
    });
    const double dbfCli = medianMs(process(cli, {QStringLiteral("dbf-dump"), dbf}));
    const double dbfread = medianMs(
        process(python, {QStringLiteral("-c"),
                         QStringLiteral("import dbfread,sys\nfor r in dbfread.DBF(sys.argv[1]): "
                                        "print('\\t'.join(r.values()))"),
                         dbf}));
    std::printf("  in process: %.1f ms\n", dbfIn);
    report("orvant2-cli dbf-dump", dbfCli, "dbfread", dbfread);

    const QString vlm = dir.filePath(QStringLiteral("big.vlm"));
    QByteArray image;
    for (int row = 0; row < caltable::kMaxRows; ++row)
        for (quint32 v : {quint32(row) * 100017u >> 24, quint32(row) * 100017u >> 16,
                          quint32(row) * 100017u >> 8, quint32(row) * 100017u, 1u, 0x2Du})
            image.append(char(v & 0xFF));
    caltable::WriteTableFile(image, 1, vlm);
    std::printf("calibration table, %d rows\n", caltable::kMaxRows);
    QByteArray back;
    QString status;
    const double conv =
        medianMs([&] { return caltable::ConvertTableFile(vlm, back, status) && back == image; });
    QStringList lines;
    const double check = medianMs([&] {
        caltable::readTableFile(vlm, lines);
        return caltable::ParseTableText(lines).rows == caltable::kMaxRows;
    });
    std::printf("  converter %.1f ms, validating reader %.1f ms\n", conv, check);
    return 0;
}
