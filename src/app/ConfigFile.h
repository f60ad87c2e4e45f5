#pragma once

#include "app/FileWriter.h"

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

namespace app {

using ConfigEntries = std::vector<std::pair<QString, QString>>;

// The name=value file of the engineer. Writing sets only the keys given and
// keeps every other line as it was: comments, lines without "=", duplicate
// keys, other encodings and line ends. Nothing is written when the values
// are already there. A write goes to a temporary file that replaces the old
// one only when complete: a crash leaves either the old or the new file.
//
// With a fallback path (the user's configuration folder) the file beside
// the program is read as long as no copy exists there; when the file beside
// the program cannot be written, the first write copies it whole to the
// fallback and changes only its own keys there, and the copy is used from
// then on.
class ConfigFile {
  public:
    explicit ConfigFile(QString path = {}, QString fallbackPath = {});
    // The file beside the program, with the user's folder as fallback. An
    // installed program keeps a new file in the user's folder; a file
    // already beside it still wins.
    static ConfigFile forProgram(const QString& programPath, bool installed = false);

    // The program's path with its extension replaced by ".cfg".
    static QString pathBesideProgram(const QString& programPath);

    // The file in use now.
    QString path() const;
    bool exists() const;
    // All entries in file order, the last of duplicate keys winning; empty
    // when there is no file. result, when given, says whether the file was
    // read whole (a file over the size limit is no empty layout).
    ConfigEntries read(FileResult* result = nullptr) const;
    // The value of key, empty when missing.
    static QString value(const ConfigEntries& entries, const QString& key);
    // Sets the keys (adding missing ones at the end) and writes the file.
    bool write(const ConfigEntries& keys, QString* error = nullptr) const;

  private:
    QString m_path;
    QString m_fallback;
};

// Integer of a configuration value; fallback when empty or not a number.
int configInt(const QString& text, int fallback);
// A "first,second" value. Without a comma the whole value is the second part
// and the first is empty, as the files written so far expect.
std::pair<QString, QString> splitPair(const QString& text);

} // namespace app
