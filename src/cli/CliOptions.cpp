#include "cli/CliOptions.h"

#include "app/ControllerTypes.h"
#include "cli/Commands.h"
#include "sites/SitesFile.h"

namespace cli {

namespace {

QString line(const Command& c) {
    return QStringLiteral("  %1\n      %2\n")
        .arg(QString::fromUtf8(c.words), QString::fromUtf8(c.what));
}

bool isHelpWord(const QString& w) {
    return w == QLatin1String("--help") || w == QLatin1String("-h");
}

} // namespace

QString cliUsage() {
    QString out =
        QStringLiteral("использование: orvant2-cli (--port PORT | --simulate [SCENARIO] [--virtual-time]) "
                       "[--type N] [--config FILE] "
                       "[--trace] [--read-only] [--record FILE] COMMAND\n"
                       "               orvant2-cli [--sites FILE] --site NAME [--trace] "
                       "COMMAND\n"
                       "               orvant2-cli COMMAND --help\n"
                       "  --site берёт линию и конфигурацию объекта NAME из файла объектов "
                       "(--sites, иначе ~/.config/orvant2/sites.cfg)\n"
                       "команды на линии:\n");
    for (const Command& c : commands())
        if (c.onLine)
            out += line(c);
    out += QStringLiteral("команды для всех объектов (orvant2-cli [--sites FILE] COMMAND):\n");
    for (const Command& c : commands())
        if (c.onSites)
            out += line(c);
    out += QStringLiteral("команды с файлами (без порта):\n");
    for (const Command& c : commands())
        if (c.onFiles)
            out += line(c);
    return out;
}

QString commandUsage(const QString& command) {
    const Command* c = findCommand(command);
    if (!c)
        return cliUsage();
    QString out = QStringLiteral("использование: orvant2-cli ");
    if (c->onSites)
        out += QStringLiteral("[--sites FILE] ");
    else if (!c->onFiles)
        out += QStringLiteral("(--port PORT | --simulate [SCENARIO] [--virtual-time] | [--sites FILE] --site NAME) "
                              "[--type N] [--config FILE] [--trace] [--read-only] [--record FILE] ");
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
                return fail(QStringLiteral("--port: нужно имя порта"));
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
            if (!ok || !app::isControllerType(o.type))
                return fail(QStringLiteral("--type: нужен тип КИП 0..5"));
        } else if (a == QLatin1String("--config")) {
            if (++i >= args.size())
                return fail(QStringLiteral("--config: нужен файл конфигурации"));
            o.config = args[i];
        } else if (a == QLatin1String("--sites")) {
            if (++i >= args.size())
                return fail(QStringLiteral("--sites: нужен файл объектов"));
            o.sitesFile = args[i];
        } else if (a == QLatin1String("--site")) {
            if (++i >= args.size() || args[i].trimmed().isEmpty())
                return fail(QStringLiteral("--site: нужно имя объекта"));
            o.site = args[i].trimmed();
        } else if (a == QLatin1String("--trace")) {
            o.trace = true;
        } else if (a == QLatin1String("--read-only")) {
            o.readOnly = true;
        } else if (a == QLatin1String("--record")) {
            if (++i >= args.size())
                return fail(QStringLiteral("--record: нужен файл записи обмена"));
            o.record = args[i];
        } else if (a == QLatin1String("--virtual-time")) {
            o.virtualTime = true;
        } else {
            return fail(QStringLiteral("неизвестный ключ %1").arg(a));
        }
    }
    if (o.virtualTime && !o.simulate)
        return fail(QStringLiteral("--virtual-time только с --simulate"));
    if (i >= args.size())
        return fail(QStringLiteral("не задана команда"));
    o.command = args[i];
    o.commandArgs = args.mid(i + 1);
    if (std::any_of(o.commandArgs.begin(), o.commandArgs.end(), isHelpWord)) {
        o.help = true;
        return o;
    }
    const Command* c = findCommand(o.command);
    if (!c)
        return fail(QStringLiteral("неизвестная команда \"%1\"").arg(o.command));
    if (!o.site.isEmpty() && (o.simulate || !o.port.isEmpty() || !o.config.isEmpty()))
        return fail(QStringLiteral("--site сам задаёт линию и конфигурацию: без --port, "
                                   "--simulate и --config"));
    if (c->onSites) {
        if (o.simulate || !o.port.isEmpty() || !o.site.isEmpty() || !o.config.isEmpty())
            return fail(QStringLiteral("%1 берёт линии и конфигурации из файла объектов (--sites)")
                            .arg(o.command));
    } else if (c->onFiles) {
        if (o.simulate || !o.port.isEmpty() || !o.site.isEmpty() || o.readOnly ||
            !o.record.isEmpty())
            return fail(QStringLiteral("%1 работает с файлами, а не с линией").arg(o.command));
    } else if (o.site.isEmpty() && o.simulate == !o.port.isEmpty()) {
        return fail(QStringLiteral("задайте --port PORT или --simulate"));
    }
    return o;
}

bool resolveSite(CliOptions& o, QString* error) {
    if (o.site.isEmpty())
        return true;
    const QString path = o.sitesFile.isEmpty() ? sites::defaultSitesPath() : o.sitesFile;
    const auto file = sites::loadSites(path, error);
    if (!file)
        return false;
    const sites::Site* site = file->find(o.site);
    if (!site) {
        *error = QStringLiteral("%1: нет объекта \"%2\"").arg(path, o.site);
        return false;
    }
    o.port = site->line;
    o.layoutEntries = site->entries;
    o.type = app::configInt(app::ConfigFile::value(site->entries, QStringLiteral("KIP_TYP")),
                            app::TypeN6);
    return true;
}

} // namespace cli
