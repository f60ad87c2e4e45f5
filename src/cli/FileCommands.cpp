#include "cli/FileCommands.h"

#include "polllog/LogAddress.h"

#include "cli/Commands.h"

#include "cli/DbCommands.h"
#include "cli/DiagramCommand.h"
#include "cli/InputFile.h"
#include "cli/SnapshotCommands.h"

#include "app/FileReader.h"
#include "caltable/TableFile.h"
#include "db/DbfTable.h"
#include "firmware/FirmwareImage.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstdio>

namespace cli {
namespace {

int failWith(const QString& message) {
    std::fprintf(stderr, "orvant2-cli: %s\n", qPrintable(message));
    return 2;
}

// A file that cannot be written is a failure of the work asked, not a
// wrong word: exit 1.
int writeOrSay(const QString& path, const QByteArray& bytes) {
    const app::FileResult r = app::writeFileAtomically(path, bytes);
    if (r.ok())
        return 0;
    std::fprintf(stderr, "orvant2-cli: НЕ ЗАПИСАНО: %s\n", qPrintable(r.message()));
    return 1;
}

QString hex5(int v) {
    return QStringLiteral("%1").arg(v, 5, 16, QLatin1Char('0')).toUpper();
}

} // namespace

int runHexInfo(const QStringList& args) {
    const bool sensor = args.size() == 2 && args[0] == QLatin1String("--sensor");
    if (args.size() != (sensor ? 2 : 1))
        return failWith(QStringLiteral("hex-info [--sensor] FILE"));
    firmware::FirmwareImage image;
    const auto r = sensor ? firmware::LoadSensorFirmware(args.last(), image)
                          : firmware::LoadControllerFirmware(args.last(), image);
    if (!r.ok)
        return failWith(r.message.isEmpty() ? QStringLiteral("в файле нет данных") : r.message);
    std::printf("start=%s\nend=%s\nversion=%s\ndate=%s\n", qPrintable(hex5(image.start)),
                qPrintable(hex5(image.end)), qPrintable(image.version), qPrintable(image.date));
    return 0;
}

int runHexBin(const QStringList& args) {
    if (args.size() != 2)
        return failWith(QStringLiteral("hex-bin FILE OUT"));
    firmware::FirmwareImage image;
    const auto r = firmware::LoadControllerFirmware(args[0], image);
    if (!r.ok)
        return failWith(r.message);
    return writeOrSay(args[1], image.data.mid(image.start, image.end - image.start));
}

int runTableCheck(const QStringList& args) {
    if (args.size() != 1)
        return failWith(QStringLiteral("table-check FILE"));
    QStringList lines;
    QString error;
    if (!caltable::readTableFile(args[0], lines, &error))
        return failWith(args[0] + QStringLiteral(": ") + error);
    const caltable::ParsedTable t = caltable::ParseTableText(lines);
    if (t.rows <= 0)
        return failWith(t.status);
    std::printf("rows=%d\nheight=%d\n", t.rows, t.rows - 1);
    return 0;
}

int runTableBin(const QStringList& args) {
    if (args.size() != 2)
        return failWith(QStringLiteral("table-bin FILE OUT"));
    QByteArray image;
    QString status;
    if (!caltable::ConvertTableFile(args[0], image, status))
        return failWith(status);
    return writeOrSay(args[1], image);
}

int runTableWrite(const QStringList& args) {
    bool ok = false;
    const int tank = args.size() == 3 ? args[1].toInt(&ok) : 0;
    if (!ok || tank < 1)
        return failWith(QStringLiteral("table-write IN.bin TANK OUT.vlm"));
    const app::FileRead in =
        app::readRegularFile(args[0], qint64(caltable::kMaxRows) * caltable::kRowBytes);
    if (!in.result.ok())
        return failWith(in.result.message());
    const QByteArray& image = in.bytes;
    // An empty image is no table, and a cut row would shift every value.
    if (image.isEmpty() || image.size() % caltable::kRowBytes != 0)
        return failWith(QStringLiteral("%1: НЕ ТАБЛИЦА: %2 БАЙТ, А НУЖНО ПО 6 НА СТРОКУ")
                            .arg(args[0])
                            .arg(image.size()));
    return writeOrSay(args[2], caltable::tableFileBytes(caltable::tableFileLines(image, tank)));
}

int runDbfDump(const QStringList& args) {
    if (args.size() != 1)
        return failWith(QStringLiteral("dbf-dump FILE"));
    db::DbfTable table(args[0]);
    if (!table.IsOpen())
        return failWith(QStringLiteral("%1: непригодная таблица dBASE").arg(args[0]));
    QByteArrayList names;
    for (int k = 0; k < table.fieldCount(); ++k)
        names << table.fieldName(k);
    // Text in the table's own code page, printed as UTF-8; one record stays
    // one line, whatever its fields hold.
    QStringDecoder decode(table.codePage().constData());
    auto text = [&decode](const QByteArray& bytes) {
        QByteArray v = decode.isValid() ? QString(decode(bytes)).toUtf8() : bytes;
        QByteArray out;
        for (const char c : v) {
            switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\0':
                out += "\\0";
                break;
            default:
                out += c;
            }
        }
        return out;
    };
    // The first column marks deleted records with "*".
    std::printf("*\t%s\n", names.join('\t').constData());
    for (int i = 0; i < table.RecordCount(); ++i) {
        if (!table.ReadRecord(i))
            return failWith(QStringLiteral("%1: запись %2 не читается").arg(args[0]).arg(i));
        QByteArrayList values{table.isDeleted() ? QByteArray("*") : QByteArray()};
        for (const QByteArray& name : names) {
            // Padding is spaces, or NULs from some writers; a NUL inside
            // the text ends nothing.
            QByteArray v = table.GetField(name);
            while (v.endsWith(' ') || v.endsWith('\0'))
                v.chop(1);
            values << text(v);
        }
        const QByteArray line = values.join('\t') + '\n';
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    }
    return 0;
}

int runFileCommand(const Command& command, const QStringList& args) {
    // The file read is the first word that is not an option; it is checked
    // before anything else (a table is never created here).
    const auto input = std::find_if(args.begin(), args.end(), [](const QString& w) {
        return !w.startsWith(QLatin1String("--"));
    });
    // A log on a server is no file.
    if (input != args.end() && !polllog::isServerAddress(*input))
        if (const QString problem = inputFileProblem(*input); !problem.isEmpty())
            return failWith(problem);
    return command.onFiles(args);
}

} // namespace cli
