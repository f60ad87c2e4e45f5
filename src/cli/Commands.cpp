#include "cli/Commands.h"

#include "cli/AlarmCommand.h"
#include "cli/ControllerCommand.h"
#include "cli/DbCommands.h"
#include "cli/DensityCommand.h"
#include "cli/DiagramCommand.h"
#include "cli/FileCommands.h"
#include "cli/FlashCommand.h"
#include "cli/LineCommands.h"
#include "cli/SensorCommand.h"
#include "cli/SnapshotCommands.h"
#include "cli/StatusCommand.h"
#include "cli/TablesCommand.h"

namespace cli {
namespace {

constexpr bool kDraws = true;

using LineRun = int(bus::SerialLink&, const CliOptions&);
using FileRun = int(const QStringList&);

// Every row is made by one of these; a reference cannot be null, so a
// command without its handler does not compile.
constexpr Command onLine(const char* name, const char* words, const char* what, LineRun& run,
                         bool draws = false) {
    return {name, words, what, &run, nullptr, draws};
}
constexpr Command onFiles(const char* name, const char* words, const char* what, FileRun& run,
                          bool draws = false) {
    return {name, words, what, nullptr, &run, draws};
}

constexpr Command kCommands[] = {
    onLine("scan", "scan", "find the controllers and print the layout as configuration lines",
           runScan),
    onLine("set-address", "set-address N", "give the lone sensor on the line the number N (1..128)",
           runSetAddress),
    onLine(
        "status",
        "status [--extended | --overview] [--log FILE.sqlite] [--every SECONDS [--count N]]",
        "poll all sensors and print the grid, tab-separated; --every repeats the poll that many "
        "seconds after the end of the last one (N times, else until Ctrl+C); --log records every "
        "poll of the page in the site's poll log, before it is printed (the file is made by the "
        "first poll with answers)",
        runStatusCommand),
    onLine("health", "health [--log FILE.sqlite]",
           "poll the general status once and print each sensor that is not normal: number, the "
           "decoded status, since when (from the log, where the poll is recorded too); exit 1 when "
           "any sensor is not normal",
           runHealthCommand),
    onLine("sensor",
           "sensor N get | sensor N set KEY=VALUE... | sensor N thermometers [--search] |\n"
           "    sensor N densitymeters | sensor N thermometer I ID HEIGHT |\n"
           "    sensor N densitymeter I ID HEIGHT [CORRECTION]",
           "the settings, thermometers and density meters of sensor N: read, search, write",
           runSensorCommand),
    onLine("alarm",
           "alarm N get | alarm N set KEY=VALUE... | alarm N state | alarm N off EVENT |\n"
           "    alarm N ramtest",
           "the alarm settings of sensor N kept in its controller, its alarm state, switching an "
           "alarm off, its memory test",
           runAlarmCommand),
    onLine("controller",
           "controller K get | controller K set KEY=VALUE... | controller K status [--keyboard]",
           "the settings controller K keeps (interval, channels, passwords, address range, sensor "
           "map), or the lamps of its main or keyboard/display processor",
           runControllerCommand),
    onLine("density",
           "density N [--meter M] | density N --meter M set-correction X |\n"
           "    density N --meter M --init",
           "what ЗАПРОСИТЬ ВСЁ shows for density meter M (default 1) of sensor N, as key=value "
           "lines; or write its correction; or initialise it",
           runDensityCommand),
    onLine(
        "flash",
        "flash controller K FILE.hex [--emergency] | flash keyboard K FILE.hex [--emergency] |\n"
        "    flash sensor N FILE.hex [--emergency] | flash emergency K on|off|get",
        "program the main or the keyboard/display processor of controller K (the keyboard one on "
        "the port given, with --simulate its port SIM-KBD), or sensor N: LINK, PROG, FREE, then "
        "the version and date it reports; a sensor in the emergency mode is looked for while its "
        "controller is switched on; the emergency flag of controller K set, cleared or read",
        runFlashCommand),
    onLine("tables",
           "tables K list | tables K read TANK OUT.vlm | tables K write TANK=FILE.vlm... "
           "[--no-verify] |\n    tables K clear",
           "the calibration tables of controller K: list the allocation table, read a tank's table "
           "to a file, write files (read back and compared unless told not to), clear",
           runTablesCommand),
    onLine("diagram", "diagram N [--save FILE.dgr] [--png FILE.png] [--no-references]",
           "read the segment diagram of sensor N (with its dry and wet codes unless told not to), "
           "print its values, save it and draw it",
           runDiagramCommand, kDraws),
    onFiles(
        "log-export",
        "log-export FILE.sqlite OUT.csv [--extended | --overview] [--from T] [--to T] [--sensor N]\n"
        "    [--decimal-point]",
        "the poll log as CSV for a spreadsheet (UTF-8 with BOM): the general status polls, or "
        "those of the extended status or the overview; \";\" between fields and \",\" "
        "as decimal mark, or \",\" and \".\" with --decimal-point; T is a local time such as "
        "\"2026-12-09 05:40\"",
        runLogExport),
    onFiles("hex-info", "hex-info [--sensor] FILE",
            "start, end, version and date of a firmware file", runHexInfo),
    onFiles("hex-bin", "hex-bin FILE OUT", "the image bytes start..end-1", runHexBin),
    onFiles("table-check", "table-check FILE", "rows and height of a calibration table",
            runTableCheck),
    onFiles("table-bin", "table-bin FILE OUT", "the table as the controller stores it",
            runTableBin),
    onFiles("table-write", "table-write IN.bin TANK OUT", "a table file from stored bytes",
            runTableWrite),
    onFiles("dbf-dump", "dbf-dump FILE", "fields and records of a dBASE table", runDbfDump),
    onFiles("dgr-png", "dgr-png FILE.dgr OUT.png", "the values of a saved diagram, and its picture",
            dgrPng, kDraws),
    onFiles(
        "snapshot-diff", "snapshot-diff A.json B.json",
        "what differs between two snapshots: device, setting, first value, second value; exit 1 "
        "when they differ",
        runSnapshotDiff),
    onFiles("report", "report FILE.json OUT.html|OUT.pdf",
            "a commissioning report from a snapshot, as HTML or PDF", runSnapshotReport, kDraws),
    onLine("snapshot", "snapshot OUT.json",
           "every setting of every controller and sensor on the line into one file",
           runSnapshotCommand),
    onLine("restore", "restore FILE.json [--sensor N | --controller K] [--dry-run] [--yes]",
           "write back the settings of a snapshot that differ from the devices, then read them "
           "back; passwords and controller addresses only with --yes; --dry-run prints the plan",
           runSnapshotCommand),
    onFiles(
        "db-find", "db-find FILE.dbf NUMBER",
        "the thermometers of that nameplate number in a factory database, as the thermometer tab "
        "takes them: eight lines \"place<TAB>identifier<TAB>height\"",
        runDbFind),
    onLine("db-save", "db-save FILE.dbf sensor N [--factory FACTORY.dbf] [--yes]",
           "read the properties of sensor N and save them in a user file under its address, N_DU "
           "from the factory database (--factory, else the first one beside the file); nothing is "
           "saved when a read gets no answer (--yes replaces a record already there)",
           runDbCommand),
    onLine("db-load", "db-load FILE.dbf sensor N",
           "write the record of sensor N's address from a user file to the sensor, as "
           "Загрузить and УСТАНОВИТЬ do",
           runDbCommand),
};

} // namespace

std::span<const Command> commands() {
    return kCommands;
}

const Command* findCommand(const QString& name) {
    for (const Command& c : kCommands)
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

} // namespace cli
