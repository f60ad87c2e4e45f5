#include "snapshot/SnapshotReport.h"

#include "app/ControllerLayout.h"
#include "app/FileWriter.h"
#include "controller/ControllerCatalogue.h"
#include "sensor/SensorCatalogue.h"
#include "sensor/SensorPlaces.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <algorithm>

namespace snapshot {
namespace {

QString cell(const QString& text) {
    return QStringLiteral("<td>%1</td>").arg(text.toHtmlEscaped());
}

QString value(const Device& d, bool sensor, const QString& key) {
    return shownValue(sensor, key, app::valueOf(d.values, key));
}

// Where a key stands in the catalogue; a key it lacks goes last.
int rank(bool sensor, const QString& key) {
    const std::vector<const std::vector<app::Setting>*> tables =
        sensor ? std::vector{&sensor::sensorSettings(), &controller::alarmSettings()}
               : std::vector{&controller::controllerSettings()};
    int i = 0;
    for (const auto* rows : tables)
        for (const app::Setting& row : *rows) {
            if (row.key == key)
                return i;
            ++i;
        }
    return i;
}

// What a device tells of its firmware: in a table of its own.
const QString kVersion = QStringLiteral("version");

// Settings in the catalogue's order, by their labels and in their units;
// passwords stay out of a report that is handed over, and so do the table
// places that hold no table, the version and a sensor's places (each in
// a table of its own).
QString settingsTable(const Device& d, bool sensor) {
    QStringList keys;
    for (const auto& [key, v] : d.values) {
        const app::Setting* place =
            sensor ? app::findSetting(sensor::sensorSettings(), key) : nullptr;
        bool skip = key.endsWith(QLatin1String("-password")) || key == kVersion ||
                    (place && sensor::isPlaceSetting(*place));
        if (key.startsWith(QLatin1String("table."))) {
            const QJsonValue size =
                app::valueOf(d.values, key.section(QLatin1Char('.'), 0, 1) + ".size");
            skip = skip || size.isNull() || size.toInt() == 0 || size.toInt() == 65535;
        }
        if (!skip)
            keys << key;
    }
    std::stable_sort(keys.begin(), keys.end(), [sensor](const QString& a, const QString& b) {
        return rank(sensor, a) < rank(sensor, b);
    });
    QString html = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">");
    for (const QString& key : keys)
        html += QStringLiteral("<tr>") + cell(settingCaption(sensor, key)) +
                cell(value(d, sensor, key)) + QStringLiteral("</tr>");
    return html + QStringLiteral("</table>");
}

QString placesTable(const Device& d, sensor::PlaceKind kind) {
    using sensor::PlaceField;
    const bool corrections = sensor::placeSetting(kind, 1, PlaceField::Correction);
    QString rows;
    for (int n = 1; n <= sensor::kPlaces; ++n) {
        const QJsonValue id =
            app::valueOf(d.values, sensor::placeSetting(kind, n, PlaceField::Id)->key);
        if (!id.isString() || id.toString() == app::kEmptyPlace)
            continue;
        rows += QStringLiteral("<tr>") + cell(QString::number(n)) + cell(id.toString()) +
                cell(value(d, true, sensor::placeSetting(kind, n, PlaceField::Height)->key));
        if (corrections)
            rows +=
                cell(value(d, true, sensor::placeSetting(kind, n, PlaceField::Correction)->key));
        rows += QStringLiteral("</tr>");
    }
    if (rows.isEmpty())
        return QStringLiteral("<p>—</p>");
    return QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\"><tr><th>№</th>"
                          "<th>Идентификатор</th><th>Высота, мм</th>%1</tr>%2</table>")
        .arg(corrections ? QStringLiteral("<th>Поправка</th>") : QString(), rows);
}

} // namespace

QString reportHtml(const Snapshot& s) {
    QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"><title>Отчёт</title></head>"
                                  "<body><h1>Отчёт о состоянии установки</h1>");
    html += QStringLiteral("<p>Дата снимка: %1<br>%2</p>")
                .arg(s.time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")),
                     app::controllerTypeLabel(s.controllerType).toHtmlEscaped());
    html += QStringLiteral("<h2>Конфигурация линии</h2><table border=\"1\" cellspacing=\"0\" "
                           "cellpadding=\"3\">");
    for (const auto& [key, v] : s.layout)
        html += QStringLiteral("<tr>") + cell(key) + cell(v) + QStringLiteral("</tr>");
    html += QStringLiteral("</table>");
    html += QStringLiteral("<h2>Версии микропрограмм</h2><table border=\"1\" cellspacing=\"0\" "
                           "cellpadding=\"3\"><tr><th>Устройство</th><th>Версия</th></tr>");
    for (const Device& c : s.controllers)
        html += QStringLiteral("<tr>") + cell(QStringLiteral("КИП %1").arg(c.number)) +
                cell(value(c, false, kVersion)) + QStringLiteral("</tr>");
    for (const Device& d : s.sensors)
        html += QStringLiteral("<tr>") + cell(QStringLiteral("Датчик %1").arg(d.number)) +
                cell(value(d, true, kVersion)) + QStringLiteral("</tr>");
    html += QStringLiteral("</table>");
    for (const Device& c : s.controllers)
        html += QStringLiteral("<h2>КИП %1</h2>").arg(c.number) + settingsTable(c, false);
    for (const Device& d : s.sensors) {
        html += QStringLiteral("<h2>Датчик %1</h2>").arg(d.number);
        if (d.controller)
            html += QStringLiteral("<p>КИП %1</p>").arg(d.controller);
        html += settingsTable(d, true);
        html +=
            QStringLiteral("<h3>Термометры</h3>") + placesTable(d, sensor::PlaceKind::Thermometer);
        html +=
            QStringLiteral("<h3>Плотномеры</h3>") + placesTable(d, sensor::PlaceKind::DensityMeter);
    }
    return html + QStringLiteral("</body></html>");
}

ReportFormat reportFormat(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("pdf"))
        return ReportFormat::Pdf;
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        return ReportFormat::Html;
    return ReportFormat::Unknown;
}

bool writeReport(const Snapshot& s, const QString& path, QString* error) {
    const ReportFormat format = reportFormat(path);
    if (format == ReportFormat::Unknown) {
        if (error)
            *error = QStringLiteral("НЕ PDF И НЕ HTML");
        return false;
    }
    const QString html = reportHtml(s);
    QByteArray bytes;
    if (format == ReportFormat::Pdf) {
        QBuffer pdf(&bytes);
        pdf.open(QIODevice::WriteOnly);
        QPdfWriter writer(&pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setTitle(QStringLiteral("Отчёт о состоянии установки"));
        QTextDocument doc;
        doc.setHtml(html);
        doc.print(&writer);
    } else {
        bytes = html.toUtf8();
    }
    const app::FileResult r = app::writeFileAtomically(path, bytes);
    if (!r.ok() && error)
        *error = app::fileFaultText(r.fault);
    return r.ok();
}

} // namespace snapshot
