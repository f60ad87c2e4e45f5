#include "app/ConfigFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>

namespace app {
namespace {

// Files written by older installations may be in the Windows Cyrillic code
// page; anything that is not valid UTF-8 is read as that.
QString decode(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder cp1251("windows-1251");
    return cp1251.isValid() ? QString(cp1251(bytes)) : QString::fromLatin1(bytes);
}

} // namespace

ConfigFile::ConfigFile(QString path) : m_path(std::move(path)) {}

QString ConfigFile::pathBesideProgram(const QString& programPath) {
    const QFileInfo fi(programPath);
    return fi.dir().filePath(fi.completeBaseName() + QStringLiteral(".cfg"));
}

QString ConfigFile::choosePath(const QString& programPath) {
    const QString beside = pathBesideProgram(programPath);
    const QFileInfo dir(QFileInfo(beside).absolutePath());
    if (dir.isWritable())
        return beside;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(folder);
    return QDir(folder).filePath(QFileInfo(beside).fileName());
}

bool ConfigFile::exists() const {
    return !m_path.isEmpty() && QFileInfo::exists(m_path);
}

ConfigEntries ConfigFile::read() const {
    ConfigEntries entries;
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly))
        return entries;
    const QString text = decode(f.readAll());
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1);
        auto it = std::find_if(entries.begin(), entries.end(),
                               [&](const auto& e) { return e.first == key; });
        if (it != entries.end())
            it->second = value;
        else
            entries.emplace_back(key, value);
    }
    return entries;
}

QString ConfigFile::value(const ConfigEntries& entries, const QString& key) {
    for (const auto& e : entries)
        if (e.first == key)
            return e.second;
    return {};
}

bool ConfigFile::write(const ConfigEntries& keys, QString* error) const {
    ConfigEntries entries = read();
    for (const auto& kv : keys) {
        auto it = std::find_if(entries.begin(), entries.end(),
                               [&](const auto& e) { return e.first == kv.first; });
        if (it != entries.end())
            it->second = kv.second;
        else
            entries.push_back(kv);
    }
    QByteArray text;
    for (const auto& [key, value] : entries)
        text += (key + QLatin1Char('=') + value).toUtf8() + "\r\n";
    QSaveFile f(m_path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size() || !f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

int configInt(const QString& text, int fallback) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? v : fallback;
}

std::pair<QString, QString> splitPair(const QString& text) {
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    if (comma < 0)
        return {QString(), text};
    return {text.left(comma), text.mid(comma + 1)};
}

} // namespace app
