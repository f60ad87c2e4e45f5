#include "cli/DiagramCommand.h"

#include "app/FileWriter.h"
#include "cli/ConsoleProgress.h"
#include "cli/LineLayout.h"
#include "diagram/DiagramDrawing.h"
#include "diagram/DiagramFile.h"
#include "diagram/DiagramRead.h"
#include "link/SerialLink.h"
#include "link/Transit.h"

#include <QBuffer>
#include <QDateTime>
#include <QImageWriter>

#include <cstdio>

namespace cli {
namespace {

void print(const char* key, const QString& value) {
    std::printf("%s=%s\n", key, qPrintable(value));
}

// The picture as the page shows it, written whole or not at all.
bool writePng(const diagram::Diagram& d, const QString& path, QString* error) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(diagram::composed(d))) {
        *error = writer.errorString();
        return false;
    }
    const app::FileResult r = app::writeFileAtomically(path, png);
    if (!r.ok())
        *error = app::fileFaultText(r.fault);
    return r.ok();
}

void printValues(const diagram::Diagram& d) {
    print("segments", QString::number(d.segments));
    print("codes-per-block", QString::number(d.codesPerBlock));
    if (!d.parametersRead)
        return;
    print("fuel-level", diagram::levelText(d.fuelLevel));
    print("water-level", diagram::levelText(d.waterLevel));
    print("fuel-segment", diagram::segmentText(d.fuelSegment(), d.segments));
    print("water-segment", diagram::segmentText(d.waterSegment(), d.segments));
    print("scale", QString::number(d.scale(), 'f', 2));
    print("noise", QString::number(d.noise(), 'f', 3));
    print("delta", QString::number(d.delta(), 'f', 3));
}

// The words after the command, settled before the line is touched.
struct DiagramWords {
    int number = 0;
    QString savePath;
    QString pngPath;
    bool references = true;
};

std::optional<DiagramWords> diagramWords(const QStringList& args) {
    DiagramWords w;
    bool ok = false;
    w.number = args.value(0).toInt(&ok);
    if (!ok || w.number < 1 || w.number > 128)
        return std::nullopt;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--save") && i + 1 < args.size())
            w.savePath = args[++i];
        else if (args[i] == QLatin1String("--png") && i + 1 < args.size())
            w.pngPath = args[++i];
        else if (args[i] == QLatin1String("--no-references"))
            w.references = false;
        else
            return std::nullopt;
    }
    return w;
}

} // namespace

QString diagramWrongWords(const QStringList& args) {
    return diagramWords(args) ? QString() : commandUsage(QStringLiteral("diagram"));
}

int runDiagramCommand(bus::SerialLink& link, const CliOptions& o) {
    const std::optional<DiagramWords> w = diagramWords(o.commandArgs);
    if (!w)
        return fail(commandUsage(QStringLiteral("diagram")));
    const int number = w->number;
    const QString& savePath = w->savePath;
    const QString& pngPath = w->pngPath;
    const bool references = w->references;
    ConsoleProgress progress;
    SensorRoute route;
    if (const int code = sensorRouteFor(link, o, progress, number, route))
        return code;
    diagram::Diagram d;
    diagram::ReadResult r;
    {
        bus::TransitScope transit(link, route.controller.value_or(0), route.controller.has_value());
        r = diagram::ReadSegmentDiagram(link, static_cast<std::uint8_t>(number - 1), references,
                                        progress, d);
        diagram::StartNextMeasurement(link, static_cast<std::uint8_t>(number - 1));
    }
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (r.stopped)
        return fail(kInterrupted, 1);
    if (!r.drawn)
        return fail(r.mess, 1);
    printValues(d);
    print("status", r.mess.trimmed());
    QString error;
    if (!savePath.isEmpty() &&
        !diagram::SaveDiagramFile(savePath, d, QDateTime::currentDateTime(), &error))
        return fail(QStringLiteral("НЕ ЗАПИСАНО: %1: %2").arg(savePath, error), 1);
    if (!pngPath.isEmpty() && !writePng(d, pngPath, &error))
        return fail(QStringLiteral("НЕ ЗАПИСАНО: %1: %2").arg(pngPath, error), 1);
    // Every array whole, or the engineer is told.
    return r.complete ? 0 : 1;
}

int dgrPng(const QStringList& args) {
    if (args.size() != 2)
        return fail(QStringLiteral("dgr-png FILE.dgr OUT.png"));
    QString error;
    const auto d = diagram::ReadDiagramFile(args[0], &error);
    if (!d)
        return fail(args[0] + QStringLiteral(": ") + error);
    printValues(*d);
    print("saved", diagram::fromOleDate(d->savedAt).toString(Qt::ISODate));
    if (!writePng(*d, args[1], &error))
        return fail(QStringLiteral("НЕ ЗАПИСАНО: %1: %2").arg(args[1], error), 1);
    return 0;
}

} // namespace cli
