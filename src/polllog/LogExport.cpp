#include "polllog/LogExport.h"

#include <QDateTime>

namespace polllog {
namespace {

QString hex2(int v) {
    return QStringLiteral("%1").arg(v & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

QString timeText(qint64 timeMs) {
    return QDateTime::fromMSecsSinceEpoch(timeMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

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

app::FileResult exportCsv(const PollLog& log, const QString& path, const ExportOptions& options) {
    const QChar separator = QLatin1Char(options.decimalPoint ? ',' : ';');
    const QChar mark = QLatin1Char(options.decimalPoint ? '.' : ',');
    const QStringList header =
        QStringList{QStringLiteral("Время"), QStringLiteral("Датчик")} + headerOf(options.page);
    QString text = QChar(0xFEFF) + header.join(separator) + QStringLiteral("\r\n");
    QStringList fields;
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
    auto endRow = [&] {
        text += fields.join(separator);
        text += QStringLiteral("\r\n");
    };
    auto start = [&](qint64 timeMs, int sensor) {
        fields.clear();
        fields << timeText(timeMs) << QString::number(sensor);
    };
    bool ok = false;
    switch (options.page) {
    case Page::General:
        ok = log.forEachRow(options.fromMs, options.toMs, options.sensor, [&](const LoggedRow& r) {
            start(r.timeMs, r.row.sensor);
            fields << (r.row.s1 ? hex2(*r.row.s1) + QLatin1Char(' ') + hex2(*r.row.s2) : QString());
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
        ok = log.forEachOverviewRow(options.fromMs, options.toMs, options.sensor,
                                    [&](const LoggedOverviewRow& r) {
                                        start(r.timeMs, r.row.sensor);
                                        // A separator or quote in a device's text
                                        // would split the field: quoted as CSV does.
                                        QString version = r.row.version;
                                        if (version.contains(separator) ||
                                            version.contains(QLatin1Char('"')) ||
                                            version.contains(QLatin1Char('\n')))
                                            version = QLatin1Char('"') +
                                                      version.replace(QLatin1String("\""),
                                                                      QLatin1String("\"\"")) +
                                                      QLatin1Char('"');
                                        fields << version;
                                        addNumber(r.row.height);
                                        addNumber(r.row.thermometers);
                                        addNumber(r.row.densityMeters);
                                        endRow();
                                    });
        break;
    }
    if (!ok)
        return {app::FileFault::Broken, log.path()};
    return app::writeFileAtomically(path, text.toUtf8());
}

} // namespace polllog
