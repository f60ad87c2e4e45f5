#include "cli/Commands.h"

#include "cli/AlarmCommand.h"
#include "cli/ControllerCommand.h"
#include "cli/DbCommands.h"
#include "cli/DensityCommand.h"
#include "cli/DiagramCommand.h"
#include "cli/FileCommands.h"
#include "cli/FlashCommand.h"
#include "cli/LineCommands.h"
#include "cli/ReplayCheck.h"
#include "cli/SensorCommand.h"
#include "cli/SnapshotCommands.h"
#include "cli/StatusCommand.h"
#include "cli/TablesCommand.h"
#include "cli/WatchCommand.h"

namespace cli {
namespace {

constexpr bool kDraws = true;

using LineRun = int(bus::SerialLink&, const CliOptions&);
using FileRun = int(const QStringList&);
using WordsCheck = QString(const QStringList&);
using SitesRun = int(const CliOptions&);

// Every row is made by one of these; a reference cannot be null, so a
// command without its handler or its words' check does not compile.
constexpr Command onLine(const char* name, const char* words, const char* what, LineRun& run,
                         WordsCheck& check, bool draws = false) {
    return {name, words, what, &run, nullptr, draws, &check};
}
constexpr Command onFiles(const char* name, const char* words, const char* what, FileRun& run,
                          bool draws = false) {
    return {name, words, what, nullptr, &run, draws};
}

constexpr Command onSites(const char* name, const char* words, const char* what, SitesRun& run) {
    return {name, words, what, nullptr, nullptr, false, nullptr, &run};
}

// A line command whose words name a controller number.
using NumberOf = std::optional<int>(const QStringList&);
constexpr Command onController(const char* name, const char* words, const char* what, LineRun& run,
                               WordsCheck& check, NumberOf& number) {
    return {name, words, what, &run, nullptr, false, &check, nullptr, &number};
}

// K, the first word (checked as a number by the words' check).
std::optional<int> firstWord(const QStringList& args) {
    return args.value(0).toInt();
}

constexpr Command kCommands[] = {
    onLine("scan", "scan", "найти КИП на линии и вывести конфигурацию строками файла конфигурации",
           runScan, scanWrongWords),
    onLine("set-address", "set-address N", "дать единственному датчику на линии номер N (1..128)",
           runSetAddress, setAddressWrongWords),
    onLine(
        "status",
        "status [--extended | --overview] [--log FILE.sqlite] [--every SECONDS [--count N]]",
        "опросить все датчики и вывести таблицу, поля через табуляцию; --every повторяет опрос "
        "через столько секунд после конца предыдущего (N раз, иначе до Ctrl+C); --log "
        "записывает каждый опрос страницы в журнал опроса объекта до вывода (файл создаёт "
        "первый опрос, на который есть ответы)",
        runStatusCommand, statusWrongWords),
    onLine("health", "health [--log FILE.sqlite]",
           "один опрос общего состояния и строка на каждый датчик не в норме: номер, расшифровка "
           "состояния, с какого времени (по журналу, куда опрос тоже записывается); код 1, если "
           "такой датчик есть",
           runHealthCommand, healthWrongWords),
    onLine("sensor",
           "sensor N get | sensor N set KEY=VALUE... | sensor N thermometers [--search] |\n"
           "    sensor N densitymeters | sensor N thermometer I ID HEIGHT |\n"
           "    sensor N densitymeter I ID HEIGHT [CORRECTION]",
           "настройки, термометры и плотномеры датчика N: чтение, поиск, запись", runSensorCommand, sensorWrongWords),
    onLine("alarm",
           "alarm N get | alarm N set KEY=VALUE... | alarm N state | alarm N off EVENT |\n"
           "    alarm N ramtest",
           "настройки сигнализации датчика N, хранимые в его КИП, состояние сигнализации, её "
           "выключение, тест памяти",
           runAlarmCommand, alarmWrongWords),
    onController(
        "controller",
        "controller K get | controller K set KEY=VALUE... | controller K status [--keyboard]",
        "настройки КИП K (интервал, каналы, пароли, диапазон адресов, карта датчиков) или "
        "состояние его центрального процессора или процессора KBD/LCD, как на странице "
        "состояния: горящие лампы, sensors= и mode= (центральный), dump= — байты ответа",
        runControllerCommand, controllerWrongWords, firstWord),
    onLine("density",
           "density N [--meter M] | density N --meter M set-correction X |\n"
           "    density N --meter M --init | density N --search",
           "то, что показывает ЗАПРОСИТЬ ВСЁ для плотномера M (по умолчанию 1) датчика N, строками "
           "key=value; или запись его поправки; или его инициализация; или плотномеры датчика, "
           "как их находит ЗАПРОСИТЬ (номер, идентификатор, высота; found=K)",
           runDensityCommand, densityWrongWords),
    onController(
        "flash",
        "flash controller K FILE.hex [--emergency] | flash keyboard K FILE.hex [--emergency] |\n"
        "    flash sensor N FILE.hex [--emergency] | flash emergency K on|off|get",
        "прошить центральный процессор или процессор KBD/LCD КИП K (KBD/LCD на заданном порту, "
        "с --simulate на порту SIM-KBD) или датчик N: LINK, PROG, FREE, затем версия и дата, "
        "которые он сообщает; Ctrl+C, замолчавшая линия или отвергнутый блок останавливают "
        "запись и называют достигнутый адрес; датчик в аварийном режиме ищется, пока его КИП "
        "включают; флаг аварийного обновления КИП K: установить, снять или прочитать",
        runFlashCommand, flashWrongWords, flashControllerNumber),
    onController(
        "tables",
        "tables K list | tables K read TANK OUT.vlm | tables K write TANK=FILE.vlm... "
        "[--no-verify] |\n    tables K clear",
        "калибровочные таблицы КИП K: оглавление, чтение таблицы резервуара в файл, запись "
        "файлов (с чтением назад и сверкой, если не сказано иначе), очистка",
        runTablesCommand, tablesWrongWords, firstWord),
    onLine("diagram", "diagram N [--save FILE.dgr] [--png FILE.png] [--no-references]",
           "прочитать диаграмму сегментов датчика N (с сухими и мокрыми кодами, если не сказано "
           "иначе), вывести её значения, сохранить и нарисовать",
           runDiagramCommand, diagramWrongWords, kDraws),
    onFiles("log-export",
            "log-export LOG OUT.csv [--extended | --overview] [--from T] [--to T] "
            "[--sensor N]\n"
            "    [--decimal-point] [--site NAME] [--every 1h|1d [--wide [--quantity Q]]]",
            "журнал опроса в CSV для электронной таблицы (UTF-8 с BOM): опросы общего состояния, "
            "или расширенного состояния, или конфигурации; \";\" между полями и \",\" как "
            "десятичный знак, или \",\" и \".\" с --decimal-point; T — местное время, например "
            "\"2026-12-09 05:40\"; LOG — файл SQLite или postgresql://USER@HOST:PORT/DB, --site "
            "— какого объекта; --every — минимум, среднее и максимум каждой величины за каждый "
            "час или сутки местного времени (время начала с поправкой к UTC), --wide — строка на "
            "интервал и три столбца на датчик для одной величины (--quantity, по умолчанию "
            "Топливо)",
            runLogExport),
    onFiles("log-prune", "log-prune LOG --keep DAYSd",
            "удалить из журнала опросы всех объектов старше стольких дней, короткими "
            "транзакциями, не мешая записи",
            runLogPrune),
    onFiles("log-sites", "log-sites LOG",
            "объекты журнала: последний опрос, датчики не в норме, ответила ли линия (\"нет "
            "связи с …\"), не касаясь линий; код 1, если не всё в норме",
            runLogSites),
    onSites("watch", "watch --log LOG [--keep DAYSd]",
            "опрашивать общее состояние всех объектов файла объектов, каждый со своим периодом "
            "every= и по своей линии, и записывать опросы в журнал LOG (файл SQLite или "
            "postgresql://USER@HOST:PORT/DB; пароль — из ~/.pgpass или PGPASSWORD); линия без "
            "ответа пробуется снова через 5, 10, 20... с (не реже раза в 5 минут); --keep "
            "удаляет опросы старше стольких дней; первый сигнал (Ctrl+C) останавливает между "
            "опросами, второй — сразу",
            runWatch),
    onFiles("hex-info", "hex-info [--sensor] FILE", "начало, конец, версия и дата файла прошивки",
            runHexInfo),
    onFiles("hex-bin", "hex-bin FILE OUT", "байты образа от start до end-1", runHexBin),
    onFiles("table-check", "table-check FILE", "строки и высота калибровочной таблицы",
            runTableCheck),
    onFiles("table-bin", "table-bin FILE OUT", "таблица в том виде, в каком её хранит КИП",
            runTableBin),
    onFiles("table-write", "table-write IN.bin TANK OUT", "файл таблицы из хранимых байтов",
            runTableWrite),
    onFiles("dbf-dump", "dbf-dump FILE", "поля и записи таблицы dBASE", runDbfDump),
    onFiles("dgr-png", "dgr-png FILE.dgr OUT.png", "значения сохранённой диаграммы и её рисунок",
            dgrPng, kDraws),
    onFiles("snapshot-diff", "snapshot-diff A.json B.json",
            "различия двух снимков: устройство, настройка, первое значение, второе значение; код "
            "1, если они различаются",
            runSnapshotDiff),
    onFiles("report", "report FILE.json OUT.html|OUT.pdf",
            "отчёт о пусконаладке по снимку, в HTML или PDF", runSnapshotReport, kDraws),
    onLine("snapshot", "snapshot OUT.json", "все настройки всех КИП и датчиков линии в один файл",
           runSnapshotCommand, snapshotWrongWords),
    onLine("restore", "restore FILE.json [--sensor N | --controller K] [--dry-run] [--yes]",
           "записать обратно настройки снимка, отличающиеся от устройств, и прочитать их назад; "
           "пароли и адреса КИП только с --yes; --dry-run выводит план",
           runSnapshotCommand, restoreWrongWords),
    onFiles("replay-check", "replay-check FILE",
            "повторить записанную (--record) команду на ответах из записи и вывести то, что "
            "показывает эта версия программы, с её кодом выхода; запросы, которых нет в "
            "записи, называются в стандартном потоке ошибок",
            runReplayCheck),
    onFiles("db-find", "db-find FILE.dbf NUMBER",
            "термометры с этим заводским номером из заводской базы, как их берёт вкладка "
            "термометров: восемь строк \"место<TAB>идентификатор<TAB>высота\"",
            runDbFind),
    onLine(
        "db-save", "db-save FILE.dbf sensor N [--factory FACTORY.dbf] [--yes]",
        "прочитать свойства датчика N и сохранить их в пользовательском файле под его адресом, "
        "N_DU из заводской базы (--factory, иначе первая рядом с файлом); ничего не сохраняется, "
        "если какое-то чтение осталось без ответа (--yes заменяет уже имеющуюся запись)",
        runDbCommand, dbSaveWrongWords),
    onLine("db-load", "db-load FILE.dbf sensor N",
           "записать в датчик запись адреса датчика N из пользовательского файла, как это делают "
           "Загрузить и УСТАНОВИТЬ",
           runDbCommand, dbLoadWrongWords),
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
