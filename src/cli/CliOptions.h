#pragma once

#include "app/ConfigFile.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace cli {

// The options every command shares, then the command and its own words.
struct CliOptions {
    QString port;
    bool simulate = false;
    QString scenario;
    // The simulated line on a clock of its own: a wait for a silent device
    // costs nothing (scripts checked against the simulation, tests).
    bool virtualTime = false;
    int type = 1;
    QString config;    // layout from this configuration file instead of a scan
    QString sitesFile; // --sites; empty: the default one
    QString site;      // --site: the line and layout of this site
    // The layout lines of the site chosen (resolveSite), taken as a
    // configuration file's.
    std::optional<app::ConfigEntries> layoutEntries;
    bool trace = false;
    bool readOnly = false; // nothing that changes a device is sent
    QString record;        // the line recorded into this file
    bool help = false;     // print the usage (of the command, when one is given)
    QString command;
    QStringList commandArgs;
};

// Nothing when the words are wrong; error then says what.
std::optional<CliOptions> parseCliOptions(const QStringList& args, QString* error);
// With --site: the site's line becomes the port, its KIP_* lines the layout
// and its type the type. False when the sites file cannot be read or has no
// such site; error then says why.
bool resolveSite(CliOptions& options, QString* error);
QString cliUsage();
// The words of one command; the whole usage for an unknown one.
QString commandUsage(const QString& command);

} // namespace cli
