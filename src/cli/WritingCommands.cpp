#include "cli/WritingCommands.h"

#include <map>

namespace cli {
namespace {

bool word(const QStringList& args, int i, const char* w) {
    return i < args.size() && args[i] == QLatin1String(w);
}

bool never(const QStringList&) {
    return false;
}
bool always(const QStringList&) {
    return true;
}

using Judge = bool (*)(const QStringList& args);

// By command: which of its forms write.
const std::map<QString, Judge>& judges() {
    static const std::map<QString, Judge> table = {
        {QStringLiteral("scan"), never},
        {QStringLiteral("status"), never},
        {QStringLiteral("health"), never},
        {QStringLiteral("diagram"), never},
        {QStringLiteral("snapshot"), never},
        // Reads the device, writes a file.
        {QStringLiteral("db-save"), never},
        {QStringLiteral("set-address"), always},
        {QStringLiteral("db-load"), always},
        {QStringLiteral("sensor"),
         [](const QStringList& a) {
             return word(a, 1, "set") || word(a, 1, "thermometer") || word(a, 1, "densitymeter");
         }},
        // The memory test only reads back what it writes in the sensor's RAM.
        {QStringLiteral("alarm"),
         [](const QStringList& a) { return word(a, 1, "set") || word(a, 1, "off"); }},
        {QStringLiteral("controller"), [](const QStringList& a) { return word(a, 1, "set"); }},
        {QStringLiteral("density"),
         [](const QStringList& a) {
             return a.contains(QStringLiteral("set-correction")) ||
                    a.contains(QStringLiteral("--init"));
         }},
        {QStringLiteral("flash"),
         [](const QStringList& a) { return !(word(a, 0, "emergency") && word(a, 2, "get")); }},
        {QStringLiteral("tables"),
         [](const QStringList& a) { return word(a, 1, "write") || word(a, 1, "clear"); }},
        {QStringLiteral("restore"),
         [](const QStringList& a) { return !a.contains(QStringLiteral("--dry-run")); }},
    };
    return table;
}

} // namespace

bool commandWrites(const QString& command, const QStringList& args) {
    const auto j = judges().find(command);
    // Not judged: taken as writing, read-only is the safe side.
    return j == judges().end() || j->second(args);
}

bool writingJudged(const QString& command) {
    return judges().count(command) > 0;
}

} // namespace cli
