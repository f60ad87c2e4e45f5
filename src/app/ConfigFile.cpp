#include "app/ConfigFile.h"

#include "app/FileReader.h"
#include "app/FileWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>

namespace app {
namespace {

// One line as it stands in the file: its bytes and its own line end.
struct Line {
    QByteArray bytes;
    QByteArray end;
};

std::vector<Line> linesOf(const QByteArray& file) {
    std::vector<Line> lines;
    qsizetype from = 0;
    while (from < file.size()) {
        qsizetype to = file.indexOf('\n', from);
        Line l;
        if (to < 0) {
            l.bytes = file.mid(from);
            from = file.size();
        } else {
            l.bytes = file.mid(from, to - from);
            l.end = "\n";
            from = to + 1;
        }
        if (l.bytes.endsWith('\r')) {
            l.bytes.chop(1);
            l.end.prepend('\r');
        }
        lines.push_back(l);
    }
    return lines;
}

// Each line on its own: UTF-8 when it is valid, else the Windows Cyrillic
// code page older installations wrote.
QString decodeLine(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder cp1251("windows-1251");
    return cp1251.isValid() ? QString(cp1251(bytes)) : QString::fromLatin1(bytes);
}

// The key and value of a line, or an empty key for a line without one.
std::pair<QString, QString> keyValue(const QByteArray& bytes) {
    const QString line = decodeLine(bytes);
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return {};
    return {line.left(eq).trimmed(), line.mid(eq + 1)};
}

// A file of name=value lines; anything larger is not one.
constexpr qint64 kMaxConfigBytes = 4 * 1024 * 1024;

FileFault writeBytes(const QString& path, const QByteArray& bytes, QString* error) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    const FileResult r = writeFileAtomically(path, bytes);
    if (!r.ok() && error)
        *error = r.message();
    return r.fault;
}

} // namespace

ConfigFile::ConfigFile(QString path, QString fallbackPath)
    : m_path(std::move(path)), m_fallback(std::move(fallbackPath)) {}

ConfigFile ConfigFile::forProgram(const QString& programPath, bool installed) {
    const QString beside = pathBesideProgram(programPath);
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    const QString user = QDir(folder).filePath(QFileInfo(beside).fileName());
    if (installed && !QFileInfo::exists(beside))
        return ConfigFile(user, user);
    return ConfigFile(beside, user);
}

QString ConfigFile::pathBesideProgram(const QString& programPath) {
    const QFileInfo fi(programPath);
    return fi.dir().filePath(fi.completeBaseName() + QStringLiteral(".cfg"));
}

QString ConfigFile::path() const {
    if (!m_fallback.isEmpty() && QFileInfo::exists(m_fallback))
        return m_fallback;
    // Nothing beside a program that cannot write there: the user's folder.
    if (!m_fallback.isEmpty() && !QFileInfo::exists(m_path) &&
        !QFileInfo(QFileInfo(m_path).absolutePath()).isWritable())
        return m_fallback;
    return m_path;
}

bool ConfigFile::exists() const {
    return !path().isEmpty() && QFileInfo::exists(path());
}

ConfigEntries ConfigFile::read(FileResult* result) const {
    ConfigEntries entries;
    const FileRead in = readRegularFile(path(), kMaxConfigBytes);
    if (result)
        *result = in.result;
    for (const Line& l : linesOf(in.bytes)) {
        const std::pair<QString, QString> kv = keyValue(l.bytes);
        if (kv.first.isEmpty())
            continue;
        auto it = std::find_if(entries.begin(), entries.end(),
                               [&](const auto& e) { return e.first == kv.first; });
        if (it != entries.end())
            it->second = kv.second;
        else
            entries.push_back(kv);
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
    const QString target = path();
    const FileRead in = readRegularFile(target, kMaxConfigBytes);
    // A file that is there but cannot be read is never replaced by the keys
    // alone.
    if (!in.result.ok() && in.result.fault != FileFault::Missing) {
        if (error)
            *error = in.result.message();
        return false;
    }
    const bool existed = in.result.ok();
    std::vector<Line> lines = linesOf(in.bytes);
    // New lines end as the file's lines do.
    QByteArray end = "\r\n";
    for (const Line& l : lines)
        if (!l.end.isEmpty()) {
            end = l.end;
            break;
        }
    bool changed = false;
    for (const auto& [key, value] : keys) {
        const QByteArray line = (key + QLatin1Char('=') + value).toUtf8();
        bool found = false;
        for (Line& l : lines) {
            if (keyValue(l.bytes).first != key)
                continue;
            found = true;
            if (keyValue(l.bytes).second != value) {
                l.bytes = line;
                changed = true;
            }
        }
        if (!found) {
            if (!lines.empty() && lines.back().end.isEmpty())
                lines.back().end = end;
            lines.push_back({line, end});
            changed = true;
        }
    }
    if (existed && !changed)
        return true;
    QByteArray bytes;
    for (const Line& l : lines)
        bytes += l.bytes + l.end;
    const FileFault fault = writeBytes(target, bytes, error);
    if (fault == FileFault::None)
        return true;
    // A file the program may read but not write: the user's folder gets the
    // whole of it with the change. A full disk is said, not worked around.
    if (m_fallback.isEmpty() || target == m_fallback ||
        (fault != FileFault::NoAccess && fault != FileFault::ReadOnlyFs))
        return false;
    return writeBytes(m_fallback, bytes, error) == FileFault::None;
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
