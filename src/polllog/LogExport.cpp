#include "polllog/LogExport.h"

#include "sensor/ValueFormats.h"

#include <QDateTime>

namespace polllog {
namespace {

QString hex2(int v) {
    return QStringLiteral("%1").arg(v & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

app::FileResult exportCsv(const PollLog& log, const QString& path, const ExportOptions& options) {
    const QChar separator = QLatin1Char(options.decimalPoint ? ',' : ';');
    const QChar mark = QLatin1Char(options.decimalPoint ? '.' : ',');
    QStringList header{QStringLiteral("Время"), QStringLiteral("Датчик"), QStringLiteral("Статус")};
    for (int q = 0; q < kQuantities; ++q) {
        const QString title = quantityTitle(static_cast<Quantity>(q));
        header << title << title + QStringLiteral(" (код)");
    }
    QString text = QChar(0xFEFF) + header.join(separator) + QStringLiteral("\r\n");
    QStringList fields;
    const bool ok =
        log.forEachRow(options.fromMs, options.toMs, options.sensor, [&](const LoggedRow& r) {
            fields.clear();
            fields << QDateTime::fromMSecsSinceEpoch(r.timeMs).toString(
                          QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                   << QString::number(r.row.sensor)
                   << (r.row.s1 ? hex2(*r.row.s1) + QLatin1Char(' ') + hex2(*r.row.s2) : QString());
            for (const auto& v : r.row.values) {
                if (v)
                    fields << QString::number(v->value, 'g', 12).replace(QLatin1Char('.'), mark)
                           << hex2(v->code);
                else
                    fields << QString() << QString();
            }
            text += fields.join(separator);
            text += QStringLiteral("\r\n");
        });
    if (!ok)
        return {app::FileFault::Broken, log.path()};
    return app::writeFileAtomically(path, text.toUtf8());
}

} // namespace polllog
