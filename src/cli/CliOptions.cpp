#include "cli/CliOptions.h"

namespace cli {

bool isFileCommand(const QString& command) {
    static const QStringList files{QStringLiteral("hex-info"),    QStringLiteral("hex-bin"),
                                   QStringLiteral("table-check"), QStringLiteral("table-bin"),
                                   QStringLiteral("table-write"), QStringLiteral("dbf-dump")};
    return files.contains(command);
}

QString cliUsage() {
    return QStringLiteral(
        "usage: orvant2-cli (--port PORT | --simulate [SCENARIO]) [--type N] [--config FILE] "
        "[--trace] COMMAND\n"
        "commands:\n"
        "  scan            find the controllers and print the layout as configuration lines\n"
        "  set-address N   give the lone sensor on the line the number N (1..128)\n"
        "  status [--extended | --overview]\n"
        "                  poll all sensors and print the grid, tab-separated\n"
        "  sensor N get    the settings of sensor N as key=value lines\n"
        "  sensor N set KEY=VALUE...\n"
        "                  write only the given settings of sensor N\n"
        "files (no port):\n"
        "  hex-info [--sensor] FILE      start, end, version and date of a firmware file\n"
        "  hex-bin FILE OUT              the image bytes start..end-1\n"
        "  table-check FILE              rows and height of a calibration table\n"
        "  table-bin FILE OUT            the table as the controller stores it\n"
        "  table-write IN.bin TANK OUT   a table file from stored bytes\n"
        "  dbf-dump FILE                 fields and records of a dBASE table\n");
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
    if (isFileCommand(o.command)) {
        if (o.simulate || !o.port.isEmpty())
            return fail(QStringLiteral("%1 works on files, not on the line").arg(o.command));
    } else if (o.simulate == !o.port.isEmpty()) {
        return fail(QStringLiteral("give either --port PORT or --simulate"));
    }
    return o;
}

} // namespace cli
