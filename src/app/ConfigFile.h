#pragma once

#include <QString>

#include <utility>
#include <vector>

namespace app {

using ConfigEntries = std::vector<std::pair<QString, QString>>;

// The name=value file beside the program. Whoever writes reads the whole
// file, sets its own keys and writes it all back, so keys of others survive.
// A write goes to a temporary file that replaces the old one only when
// complete: a crash leaves either the old or the new file.
class ConfigFile {
  public:
    explicit ConfigFile(QString path = {});

    // The program's path with its extension replaced by ".cfg".
    static QString pathBesideProgram(const QString& programPath);
    // That path when the program's folder can be written, else the same
    // name in the user's configuration folder.
    static QString choosePath(const QString& programPath);

    const QString& path() const { return m_path; }
    bool exists() const;
    // All entries in file order; empty when there is no file.
    ConfigEntries read() const;
    // The value of key, empty when missing.
    static QString value(const ConfigEntries& entries, const QString& key);
    // Sets the keys (adding missing ones at the end) and writes the file.
    bool write(const ConfigEntries& keys, QString* error = nullptr) const;

  private:
    QString m_path;
};

// Integer of a configuration value; fallback when empty or not a number.
int configInt(const QString& text, int fallback);
// A "first,second" value. Without a comma the whole value is the second part
// and the first is empty, as the files written so far expect.
std::pair<QString, QString> splitPair(const QString& text);

} // namespace app
