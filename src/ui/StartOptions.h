#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What the command line asks of the window. The service switches are found
// as plain substrings of any argument, as the installed shortcuts give them.
struct StartOptions {
    bool noLayout = false;         // "NOK": load the ports but not the layout
    bool controllerStatus = false; // "DGS": controller status mode and direct poll
    bool segmentTest = false;      // "DGR": segment test panel
    bool simulate = false;
    QString scenario;
    QString port;
    bool readOnly = false; // nothing that changes a device is sent
    QString sitesFile; // --sites: the sites of the "Объекты" list
};

// Nothing when an option is malformed; error then says what.
std::optional<StartOptions> parseStartOptions(const QStringList& arguments, QString* error);

// "--help" or "-h" among the words after the program's name.
bool asksForHelp(const QStringList& arguments);
// What the window's command line takes, in Russian.
QString startUsage();
