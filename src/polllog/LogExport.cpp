#include "polllog/LogExport.h"

#include <QDateTime>

#include <algorithm>
#include <cstdlib>

namespace polllog {
using app::Put;
namespace {

QString hex2(int v) {
    return QStringLiteral("%1").arg(v & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

QString timeText(qint64 timeMs) {
    return QDateTime::fromMSecsSinceEpoch(timeMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// The interval's start in local time with its offset: "2026-12-09T05:00:00+03:00".
QString offsetTimeText(qint64 timeMs) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(timeMs);
    const int offset = local.offsetFromUtc();
    // "+00:00" too, never "Z".
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
               .arg(std::abs(offset) / 60 % 60, 2, 10, QLatin1Char('0'));
}

// Pieces of about this many bytes go to the writer.
constexpr qsizetype kPiece = 1 << 20;

// The header of each page's rows after time and sensor.
QStringList headerOf(Page page) {
    QStringList header;
    switch (page) {
    case Page::General:
        header << QStringLiteral("Статус");
        for (int q = 0; q < kQuantities; ++q) {
            const QString title = quantityTitle(static_cast<Quantity>(q));
            header << title << title + QStringLiteral(" (код)");
        }
        break;
    case Page::Extended:
        for (const QChar letter : {QLatin1Char('T'), QLatin1Char('D')})
            for (int n = 1; n <= kChannels; ++n) {
                const QString title = letter + QString::number(n);
                header << title << title + QStringLiteral(" (код)");
            }
        break;
    case Page::Overview: {
        const QStringList titles = sensor::configOverviewGrid().header;
        for (int c = sensor::ColVersion; c <= sensor::ColDensityMeters; ++c)
            header << titles.at(c).trimmed();
        break;
    }
    }
    return header;
}

} // namespace

namespace {

app::FileResult exportIntervals(const PollLog& log, const QString& path,
                                const ExportOptions& options) {
    const QChar separator = QLatin1Char(options.decimalPoint ? ',' : ';');
    const QChar mark = QLatin1Char(options.decimalPoint ? '.' : ',');
    const QStringList spread{QStringLiteral("мин"), QStringLiteral("сред"), QStringLiteral("макс")};
    QStringList header{QStringLiteral("Начало")};
    std::vector<int> sensors;
    if (options.wide) {
        sensors = options.sensor ? std::vector<int>{*options.sensor} : log.sensors();
        const QString title = quantityTitle(options.quantity);
        for (int s : sensors)
            for (const QString& what : spread)
                header << QStringLiteral("%1 %2 %3").arg(title).arg(s).arg(what);
    } else {
        header << QStringLiteral("Датчик");
        for (int q = 0; q < kQuantities; ++q)
            for (const QString& what : spread)
                header << quantityTitle(static_cast<Quantity>(q)) + QLatin1Char(' ') + what;
    }
    auto number = [&](double v) {
        return QString::number(v, 'f', 3).replace(QLatin1Char('.'), mark);
    };
    auto add = [&](QStringList& fields, const std::optional<Spread>& v) {
        if (v)
            fields << number(v->min) << number(v->mean) << number(v->max);
        else
            fields << QString() << QString() << QString();
    };
    // Hours and days of the local clock: the offset now.
    const qint64 offsetMs =
        -static_cast<qint64>(QDateTime::currentDateTime().offsetFromUtc()) * 1000;
    bool ok = false;
    auto produce = [&](const Put& put) {
        QByteArray buffer;
        bool written = true;
        auto emitLine = [&](const QString& line) {
            if (!written)
                return;
            buffer += line.toUtf8();
            buffer += "\r\n";
            if (buffer.size() >= kPiece) {
                written = put(buffer);
                buffer.clear();
            }
        };
        emitLine(QChar(0xFEFF) + header.join(separator));
        // Wide: one interval's columns gathered, then written.
        std::optional<qint64> slot;
        std::vector<std::optional<Spread>> columns(sensors.size());
        auto flushSlot = [&] {
            if (!slot)
                return;
            QStringList fields{offsetTimeText(*slot)};
            for (auto& c : columns) {
                add(fields, c);
                c.reset();
            }
            emitLine(fields.join(separator));
        };
        ok = log.forEachInterval(
            options.fromMs, options.toMs, options.everyMs, offsetMs, options.sensor,
            [&](const IntervalRow& r) {
                if (!options.wide) {
                    QStringList fields{offsetTimeText(r.startMs), QString::number(r.sensor)};
                    for (const auto& v : r.values)
                        add(fields, v);
                    emitLine(fields.join(separator));
                    return;
                }
                if (slot != r.startMs) {
                    flushSlot();
                    slot = r.startMs;
                }
                const auto at = std::lower_bound(sensors.begin(), sensors.end(), r.sensor);
                if (at != sensors.end() && *at == r.sensor)
                    columns[static_cast<std::size_t>(at - sensors.begin())] =
                        r.values[static_cast<std::size_t>(options.quantity)];
            });
        flushSlot();
        if (written && !buffer.isEmpty())
            written = put(buffer);
        return ok || !written;
    };
    const app::FileResult r = app::writeFileInPieces(path, produce);
    if (r.fault == app::FileFault::Broken && !ok)
        return {app::FileFault::Broken, log.path()};
    return r;
}

} // namespace

app::FileResult exportCsv(const PollLog& log, const QString& path, const ExportOptions& options) {
    if (options.everyMs > 0)
        return exportIntervals(log, path, options);
    const QChar separator = QLatin1Char(options.decimalPoint ? ',' : ';');
    const QChar mark = QLatin1Char(options.decimalPoint ? '.' : ',');
    const QStringList header =
        QStringList{QStringLiteral("Время"), QStringLiteral("Датчик")} + headerOf(options.page);
    QStringList fields;
    // Filled row by row and handed on in pieces.
    QByteArray buffer;
    const Put* put = nullptr;
    bool written = true;
    auto emitLine = [&](const QString& line) {
        if (!written)
            return;
        buffer += line.toUtf8();
        buffer += "\r\n";
        if (buffer.size() >= kPiece) {
            written = (*put)(buffer);
            buffer.clear();
        }
    };
    auto addValue = [&](const std::optional<Value>& v) {
        if (v)
            fields << QString::number(v->value, 'g', 12).replace(QLatin1Char('.'), mark)
                   << hex2(v->code);
        else
            fields << QString() << QString();
    };
    auto addNumber = [&](const std::optional<int>& n) {
        fields << (n ? QString::number(*n) : QString());
    };
    auto endRow = [&] { emitLine(fields.join(separator)); };
    auto start = [&](qint64 timeMs, int sensor) {
        fields.clear();
        fields << timeText(timeMs) << QString::number(sensor);
    };
    bool ok = false;
    auto produce = [&](const Put& p) {
        put = &p;
        emitLine(QChar(0xFEFF) + header.join(separator));
        switch (options.page) {
        case Page::General:
            ok = log.forEachRow(
                options.fromMs, options.toMs, options.sensor, [&](const LoggedRow& r) {
                    start(r.timeMs, r.row.sensor);
                    fields << (r.row.s1 ? hex2(*r.row.s1) + QLatin1Char(' ') + hex2(*r.row.s2)
                                        : QString());
                    for (const auto& v : r.row.values)
                        addValue(v);
                    endRow();
                });
            break;
        case Page::Extended:
            ok = log.forEachExtendedRow(options.fromMs, options.toMs, options.sensor,
                                        [&](const LoggedExtendedRow& r) {
                                            start(r.timeMs, r.row.sensor);
                                            for (const auto& v : r.row.thermometers)
                                                addValue(v);
                                            for (const auto& v : r.row.densities)
                                                addValue(v);
                                            endRow();
                                        });
            break;
        case Page::Overview:
            ok = log.forEachOverviewRow(
                options.fromMs, options.toMs, options.sensor, [&](const LoggedOverviewRow& r) {
                    start(r.timeMs, r.row.sensor);
                    // A separator or quote in a device's text
                    // would split the field: quoted as CSV does.
                    QString version = r.row.version;
                    if (version.contains(separator) || version.contains(QLatin1Char('"')) ||
                        version.contains(QLatin1Char('\n')))
                        version = QLatin1Char('"') +
                                  version.replace(QLatin1String("\""), QLatin1String("\"\"")) +
                                  QLatin1Char('"');
                    fields << version;
                    addNumber(r.row.height);
                    addNumber(r.row.thermometers);
                    addNumber(r.row.densityMeters);
                    endRow();
                });
            break;
        }
        if (written && !buffer.isEmpty())
            written = p(buffer);
        // A failed write is the writer's to tell.
        return ok || !written;
    };
    const app::FileResult r = app::writeFileInPieces(path, produce);
    if (r.fault == app::FileFault::Broken && !ok)
        return {app::FileFault::Broken, log.path()};
    return r;
}

} // namespace polllog
