#pragma once

#include "app/ConfigFile.h"

#include <QString>

#include <optional>
#include <vector>

// The sites of a service company: each a name, its line, its poll period
// and its layout in the configuration file's own keys.
namespace sites {

struct Site {
    QString name;
    QString line;               // a serial port, tcp://HOST:PORT or rfc2217://HOST:PORT
    int everySeconds = 60;      // the watcher's poll period
    app::ConfigEntries entries; // the KIP_* lines as the configuration file has them
    int lineNumber = 0;         // of its [NAME] line
};

inline constexpr int kDefaultEverySeconds = 60;
inline constexpr int kMaxEverySeconds = 86400;

struct SitesFile {
    QString path;
    std::vector<Site> sites;

    const Site* find(const QString& name) const;
};

// ~/.config/orvant2/sites.cfg (the XDG configuration folder).
QString defaultSitesPath();

// The sites of a file, checked whole: nothing when anything is wrong, and
// error says "<path>: строка N: <what>" (or "<path>: <reason>" for a file
// that cannot be read).
std::optional<SitesFile> loadSites(const QString& path, QString* error);
// The same for the file's bytes (path only names it in errors).
std::optional<SitesFile> parseSites(const QByteArray& bytes, const QString& path, QString* error);

} // namespace sites
