#pragma once

#include <QStringList>

#include <optional>
#include <span>

namespace bus {
class SerialLink;
}

namespace cli {

struct CliOptions;

// One row per command: its words, what it does, and what runs it. A command
// talks to the line, works on files, or watches every site of the sites
// file, on lines of their own. A line command's words
// are checked before the port is opened: wrongWords says what is wrong with
// them, empty when nothing is.
struct Command {
    const char* name;
    const char* words;
    const char* what;
    int (*onLine)(bus::SerialLink& link, const CliOptions& options);
    int (*onFiles)(const QStringList& args);
    bool drawsPictures = false; // needs fonts: a GUI application, no screen
    QString (*wrongWords)(const QStringList& args) = nullptr;
    int (*onSites)(const CliOptions& options) = nullptr;
    // The controller number K the words name, if any: one no controller of
    // the type can have is refused before the port is opened.
    std::optional<int> (*controllerNumber)(const QStringList& args) = nullptr;
};

std::span<const Command> commands();
const Command* findCommand(const QString& name);

} // namespace cli
