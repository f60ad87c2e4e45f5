#include "caltable/TablePreview.h"

#include "caltable/TableFile.h"

#include <QPainter>
#include <QRegularExpression>

#include <cmath>

namespace caltable {

QImage DrawTablePreview(const QStringList& lines, int zeroLine, double& scale) {
    QImage image(kPreviewSize, kPreviewSize, QImage::Format_RGB32);
    image.fill(QColor(0xF0, 0xF0, 0xF0));
    std::vector<qint64> volumes;
    std::vector<qint64> increments;
    for (int i = std::max(zeroLine, 0); i < lines.size(); ++i) {
        QString line = lines[i];
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0)
            line.remove(eq, 1);
        static const QRegularExpression blanks(QStringLiteral("[ \\t]+"));
        const QStringList f = line.trimmed().split(blanks, Qt::SkipEmptyParts);
        if (f.size() != 3)
            continue;
        const auto value = [](const QString& s) {
            return tableNumber(s, Fraction::Truncate).value_or(0);
        };
        volumes.push_back(value(f[1]));
        increments.push_back(value(f[2]));
    }
    const int rows = static_cast<int>(volumes.size());
    scale = 0;
    if (rows == 0)
        return image;
    std::vector<qint64> diffs(rows);
    qint64 dMax = 0;
    qint64 iMax = 0;
    for (int i = 0; i < rows; ++i) {
        diffs[i] = std::abs(volumes[i] / 10 - (i > 0 ? volumes[i - 1] / 10 : 0));
        dMax = std::max(dMax, diffs[i]);
        iMax = std::max(iMax, increments[i]);
    }
    scale = double(kPreviewSize - 2) / rows;
    const int cx = (kPreviewSize - 2) / 2;
    const int baseY = kPreviewSize - 1;
    QPainter p(&image);
    auto curve = [&](const std::vector<qint64>& values, qint64 max, const QColor& colour) {
        if (max <= 0)
            return;
        p.setPen(QPen(colour, 1, Qt::SolidLine));
        for (int side : {-1, 1}) {
            QPoint last(cx, baseY);
            for (int i = 0; i < rows; ++i) {
                const int half =
                    static_cast<int>(double(values[i]) * (kPreviewSize - 2) / double(max) * 0.5);
                const QPoint next(cx + side * half, baseY - static_cast<int>(i * scale));
                p.drawLine(last, next);
                last = next;
            }
        }
    };
    curve(increments, iMax, QColor(0, 128, 128));
    curve(diffs, dMax, QColor(0, 0, 255));
    return image;
}

int levelAt(int y, double scale) {
    if (scale <= 0)
        return -1;
    return static_cast<int>(((kPreviewSize - 1) - y) / scale);
}

} // namespace caltable
