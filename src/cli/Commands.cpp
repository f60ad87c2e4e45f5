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

#include <algorithm>
#include <iterator>

namespace cli {
namespace {

constexpr bool kDraws = true;

constexpr Command kCommands[] = {
    {"scan", "scan", "find the controllers and print the layout as configuration lines", runScan,
     nullptr},
    {"set-address", "set-address N", "give the lone sensor on the line the number N (1..128)",
     runSetAddress, nullptr},
    {"status",
     "status [--extended | --overview] [--every SECONDS [--count N]] |\n"
     "    status --log FILE.sqlite [--every SECONDS [--count N]]",
     "poll all sensors and print the grid, tab-separated; --every repeats the poll that many "
     "seconds after the end of the last one (N times, else until Ctrl+C); --log records every "
     "general status poll in the site's poll log, before it is printed",
     runStatusCommand, nullptr},
    {"health", "health [--log FILE.sqlite]",
     "poll the general status once and print each sensor that is not normal: number, the "
     "decoded status, since when (from the log, where the poll is recorded too); exit 1 when "
     "any sensor is not normal",
     runHealthCommand, nullptr},
    {"sensor",
     "sensor N get | sensor N set KEY=VALUE... | sensor N thermometers [--search] |\n"
     "    sensor N densitymeters | sensor N thermometer I ID HEIGHT |\n"
     "    sensor N densitymeter I ID HEIGHT [CORRECTION]",
     "the settings, thermometers and density meters of sensor N: read, search, write",
     runSensorCommand, nullptr},
    {"alarm",
     "alarm N get | alarm N set KEY=VALUE... | alarm N state | alarm N off EVENT |\n"
     "    alarm N ramtest",
     "the alarm settings of sensor N kept in its controller, its alarm state, switching an "
     "alarm off, its memory test",
     runAlarmCommand, nullptr},
    {"controller",
     "controller K get | controller K set KEY=VALUE... | controller K status [--keyboard]",
     "the settings controller K keeps (interval, channels, passwords, address range, sensor "
     "map), or the lamps of its main or keyboard/display processor",
     runControllerCommand, nullptr},
    {"density",
     "density N [--meter M] | density N --meter M set-correction X |\n"
     "    density N --meter M --init",
     "what ЗАПРОСИТЬ ВСЁ shows for density meter M (default 1) of sensor N, as key=value "
     "lines; or write its correction; or initialise it",
     runDensityCommand, nullptr},
    {"flash",
     "flash controller K FILE.hex [--emergency] | flash keyboard K FILE.hex [--emergency] |\n"
     "    flash sensor N FILE.hex [--emergency] | flash emergency K on|off|get",
     "program the main or the keyboard/display processor of controller K (the keyboard one on "
     "the port given, with --simulate its port SIM-KBD), or sensor N: LINK, PROG, FREE, then "
     "the version and date it reports; a sensor in the emergency mode is looked for while its "
     "controller is switched on; the emergency flag of controller K set, cleared or read",
     runFlashCommand, nullptr},
    {"tables",
     "tables K list | tables K read TANK OUT.vlm | tables K write TANK=FILE.vlm... "
     "[--no-verify] |\n    tables K clear",
     "the calibration tables of controller K: list the allocation table, read a tank's table "
     "to a file, write files (read back and compared unless told not to), clear",
     runTablesCommand, nullptr},
    {"diagram", "diagram N [--save FILE.dgr] [--png FILE.png] [--no-references]",
     "read the segment diagram of sensor N (with its dry and wet codes unless told not to), "
     "print its values, save it and draw it",
     runDiagramCommand, nullptr, kDraws},
    {"log-export",
     "log-export FILE.sqlite OUT.csv [--from T] [--to T] [--sensor N] [--decimal-point]",
     "the poll log as CSV for a spreadsheet (UTF-8 with BOM): \";\" between fields and \",\" "
     "as decimal mark, or \",\" and \".\" with --decimal-point; T is a local time such as "
     "\"2026-12-09 05:40\"",
     nullptr, runLogExport},
    {"hex-info", "hex-info [--sensor] FILE", "start, end, version and date of a firmware file",
     nullptr, runHexInfo},
    {"hex-bin", "hex-bin FILE OUT", "the image bytes start..end-1", nullptr, runHexBin},
    {"table-check", "table-check FILE", "rows and height of a calibration table", nullptr,
     runTableCheck},
    {"table-bin", "table-bin FILE OUT", "the table as the controller stores it", nullptr,
     runTableBin},
    {"table-write", "table-write IN.bin TANK OUT", "a table file from stored bytes", nullptr,
     runTableWrite},
    {"dbf-dump", "dbf-dump FILE", "fields and records of a dBASE table", nullptr, runDbfDump},
    {"dgr-png", "dgr-png FILE.dgr OUT.png", "the values of a saved diagram, and its picture",
     nullptr, dgrPng, kDraws},
    {"snapshot-diff", "snapshot-diff A.json B.json",
     "what differs between two snapshots: device, setting, first value, second value; exit 1 "
     "when they differ",
     nullptr, runSnapshotDiff},
    {"report", "report FILE.json OUT.html|OUT.pdf",
     "a commissioning report from a snapshot, as HTML or PDF", nullptr, runSnapshotReport, kDraws},
    {"snapshot", "snapshot OUT.json",
     "every setting of every controller and sensor on the line into one file", runSnapshotCommand,
     nullptr},
    {"restore", "restore FILE.json [--sensor N | --controller K] [--dry-run] [--yes]",
     "write back the settings of a snapshot that differ from the devices, then read them "
     "back; passwords and controller addresses only with --yes; --dry-run prints the plan",
     runSnapshotCommand, nullptr},
    {"db-find", "db-find FILE.dbf NUMBER",
     "the thermometers of that nameplate number in a factory database, as the thermometer tab "
     "takes them: eight lines \"place<TAB>identifier<TAB>height\"",
     nullptr, runDbFind},
    {"db-save", "db-save FILE.dbf sensor N [--factory FACTORY.dbf] [--yes]",
     "read the properties of sensor N and save them in a user file under its address, N_DU "
     "from the factory database (--factory, else the first one beside the file); nothing is "
     "saved when a read gets no answer (--yes replaces a record already there)",
     runDbCommand, nullptr},
    {"db-load", "db-load FILE.dbf sensor N",
     "write the record of sensor N's address from a user file to the sensor, as "
     "Загрузить and УСТАНОВИТЬ do",
     runDbCommand, nullptr},
};

// A command runs either on the line or on files: a row with neither would
// be a command nobody runs.
constexpr bool everyRowRuns() {
    return std::all_of(std::begin(kCommands), std::end(kCommands), [](const Command& c) {
        return (c.onLine == nullptr) != (c.onFiles == nullptr);
    });
}
static_assert(everyRowRuns());

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
