#include "cli/CliOptions.h"

namespace cli {

namespace {

struct CommandWords {
    const char* name;
    const char* words;
    const char* what;
    bool onFiles;
};

constexpr CommandWords kCommands[] = {
    {"scan", "scan", "find the controllers and print the layout as configuration lines", false},
    {"set-address", "set-address N", "give the lone sensor on the line the number N (1..128)",
     false},
    {"status", "status [--extended | --overview]",
     "poll all sensors and print the grid, tab-separated", false},
    {"sensor",
     "sensor N get | sensor N set KEY=VALUE... | sensor N thermometers [--search] |\n"
     "    sensor N densitymeters | sensor N thermometer I ID HEIGHT |\n"
     "    sensor N densitymeter I ID HEIGHT [CORRECTION]",
     "the settings, thermometers and density meters of sensor N: read, search, write", false},
    {"alarm",
     "alarm N get | alarm N set KEY=VALUE... | alarm N state | alarm N off EVENT |\n"
     "    alarm N ramtest",
     "the alarm settings of sensor N kept in its controller, its alarm state, switching an "
     "alarm off, its memory test",
     false},
    {"controller",
     "controller K get | controller K set KEY=VALUE... | controller K status [--keyboard]",
     "the settings controller K keeps (interval, channels, passwords, address range, sensor "
     "map), or the lamps of its main or keyboard/display processor",
     false},
    {"density",
     "density N [--meter M] | density N --meter M set-correction X |\n"
     "    density N --meter M --init",
     "what ЗАПРОСИТЬ ВСЁ shows for density meter M (default 1) of sensor N, as key=value "
     "lines; or write its correction; or initialise it",
     false},
    {"flash",
     "flash controller K FILE.hex [--emergency] | flash keyboard K FILE.hex [--emergency] |\n"
     "    flash sensor N FILE.hex [--emergency] | flash emergency K on|off|get",
     "program the main or the keyboard/display processor of controller K (the keyboard one on "
     "the port given, with --simulate its port SIM-KBD), or sensor N: LINK, PROG, FREE, then "
     "the version and date it reports; a sensor in the emergency mode is looked for while its "
     "controller is switched on; the emergency flag of controller K set, cleared or read",
     false},
    {"tables",
     "tables K list | tables K read TANK OUT.vlm | tables K write TANK=FILE.vlm... "
     "[--no-verify] |\n    tables K clear",
     "the calibration tables of controller K: list the allocation table, read a tank's table "
     "to a file, write files (read back and compared unless told not to), clear",
     false},
    {"diagram", "diagram N [--save FILE.dgr] [--png FILE.png] [--no-references]",
     "read the segment diagram of sensor N (with its dry and wet codes unless told not to), "
     "print its values, save it and draw it",
     false},
    {"hex-info", "hex-info [--sensor] FILE", "start, end, version and date of a firmware file",
     true},
    {"hex-bin", "hex-bin FILE OUT", "the image bytes start..end-1", true},
    {"table-check", "table-check FILE", "rows and height of a calibration table", true},
    {"table-bin", "table-bin FILE OUT", "the table as the controller stores it", true},
    {"table-write", "table-write IN.bin TANK OUT", "a table file from stored bytes", true},
    {"dbf-dump", "dbf-dump FILE", "fields and records of a dBASE table", true},
    {"dgr-png", "dgr-png FILE.dgr OUT.png", "the values of a saved diagram, and its picture", true},
    {"snapshot-diff", "snapshot-diff A.json B.json",
     "what differs between two snapshots: device, setting, first value, second value; exit 1 "
     "when they differ",
     true},
    {"report", "report FILE.json OUT.html|OUT.pdf",
     "a commissioning report from a snapshot, as HTML or PDF", true},
    {"snapshot", "snapshot OUT.json",
     "every setting of every controller and sensor on the line into one file", false},
    {"restore", "restore FILE.json [--sensor N | --controller K] [--dry-run] [--yes]",
     "write back the settings of a snapshot that differ from the devices, then read them "
     "back; passwords and controller addresses only with --yes; --dry-run prints the plan",
     false},
    {"db-find", "db-find FILE.dbf NUMBER",
     "the thermometers of that nameplate number in a factory database, as the thermometer tab "
     "takes them: eight lines \"place<TAB>identifier<TAB>height\"",
     true},
    {"db-save", "db-save FILE.dbf sensor N [--factory FACTORY.dbf] [--yes]",
     "read the properties of sensor N and save them in a user file under its address, N_DU "
     "from the factory database (--factory, else the first one beside the file); nothing is "
     "saved when a read gets no answer (--yes replaces a record already there)",
     false},
    {"db-load", "db-load FILE.dbf sensor N",
     "write the record of sensor N's address from a user file to the sensor, as "
     "Загрузить and УСТАНОВИТЬ do",
     false},
};

const CommandWords* commandWords(const QString& name) {
    for (const CommandWords& c : kCommands)
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

QString line(const CommandWords& c) {
    return QStringLiteral("  %1\n      %2\n")
        .arg(QString::fromUtf8(c.words), QString::fromUtf8(c.what));
}

bool isHelpWord(const QString& w) {
    return w == QLatin1String("--help") || w == QLatin1String("-h");
}

} // namespace

bool isFileCommand(const QString& command) {
    const CommandWords* c = commandWords(command);
    return c && c->onFiles;
}

QString cliUsage() {
    QString out = QStringLiteral(
        "usage: orvant2-cli (--port PORT | --simulate [SCENARIO]) [--type N] [--config FILE] "
        "[--trace] COMMAND\n"
        "       orvant2-cli COMMAND --help\n"
        "commands on the line:\n");
    for (const CommandWords& c : kCommands)
        if (!c.onFiles)
            out += line(c);
    out += QStringLiteral("commands on files (no port):\n");
    for (const CommandWords& c : kCommands)
        if (c.onFiles)
            out += line(c);
    return out;
}

QString commandUsage(const QString& command) {
    const CommandWords* c = commandWords(command);
    if (!c)
        return cliUsage();
    QString out = QStringLiteral("usage: orvant2-cli ");
    if (!c->onFiles)
        out += QStringLiteral("(--port PORT | --simulate [SCENARIO]) [--type N] [--config FILE] "
                              "[--trace] ");
    return out + QString::fromUtf8(c->words) + QStringLiteral("\n  ") + QString::fromUtf8(c->what) +
           QStringLiteral("\n");
}

std::optional<CliOptions> parseCliOptions(const QStringList& args, QString* error) {
    CliOptions o;
    auto fail = [&](const QString& what) {
        *error = what;
        return std::nullopt;
    };
    int i = 0;
    for (; i < args.size(); ++i) {
        const QString& a = args[i];
        if (isHelpWord(a)) {
            o.help = true;
            return o;
        }
        if (!a.startsWith(QLatin1String("--")))
            break;
        if (a == QLatin1String("--port")) {
            if (++i >= args.size())
                return fail(QStringLiteral("--port needs a port name"));
            o.port = args[i];
        } else if (a == QLatin1String("--simulate")) {
            o.simulate = true;
            // An optional scenario file: any following word that is neither an
            // option nor the command. A command name never contains a slash or
            // a dot, a file name here is expected to.
            if (i + 1 < args.size() && !args[i + 1].startsWith(QLatin1String("--")) &&
                (args[i + 1].contains(QLatin1Char('/')) || args[i + 1].contains(QLatin1Char('.'))))
                o.scenario = args[++i];
        } else if (a == QLatin1String("--type")) {
            bool ok = false;
            o.type = ++i < args.size() ? args[i].toInt(&ok) : -1;
            if (!ok || o.type < 0 || o.type > 5)
                return fail(QStringLiteral("--type needs a controller type 0..5"));
        } else if (a == QLatin1String("--config")) {
            if (++i >= args.size())
                return fail(QStringLiteral("--config needs a configuration file"));
            o.config = args[i];
        } else if (a == QLatin1String("--trace")) {
            o.trace = true;
        } else {
            return fail(QStringLiteral("unknown option %1").arg(a));
        }
    }
    if (i >= args.size())
        return fail(QStringLiteral("no command given"));
    o.command = args[i];
    o.commandArgs = args.mid(i + 1);
    if (std::any_of(o.commandArgs.begin(), o.commandArgs.end(), isHelpWord)) {
        o.help = true;
        return o;
    }
    if (!commandWords(o.command))
        return fail(QStringLiteral("unknown command \"%1\"").arg(o.command));
    if (isFileCommand(o.command)) {
        if (o.simulate || !o.port.isEmpty())
            return fail(QStringLiteral("%1 works on files, not on the line").arg(o.command));
    } else if (o.simulate == !o.port.isEmpty()) {
        return fail(QStringLiteral("give either --port PORT or --simulate"));
    }
    return o;
}

} // namespace cli
