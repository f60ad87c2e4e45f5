#include "ui/Help.h"

#include <QDir>
#include <QFileInfo>

QString helpFileFor(const QString& programFolder, const QString& pageName) {
    const QDir help(QDir(programFolder).filePath(QStringLiteral("help")));
    const QString page = help.filePath(pageName + QStringLiteral(".html"));
    if (!pageName.isEmpty() && QFileInfo::exists(page))
        return page;
    const QString index = help.filePath(QStringLiteral("index.html"));
    return QFileInfo::exists(index) ? index : QString();
}
