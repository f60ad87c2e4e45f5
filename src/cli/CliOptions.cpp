#include "cli/CliOptions.h"

#include "app/ControllerTypes.h"
#include "cli/Commands.h"

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
    QString out = QStringLiteral("использование: orvant2-cli (--port PORT | --simulate [SCENARIO] "
                                 "[--virtual-time]) [--type N] [--config FILE] "
                                 "[--trace] COMMAND\n"
                                 "               orvant2-cli COMMAND --help\n"
                                 "команды на линии:\n");
    for (const Command& c : commands())
        if (c.onLine)
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
    if (!c->onFiles)
        out += QStringLiteral("(--port PORT | --simulate [SCENARIO] [--virtual-time]) [--type N] "
                              "[--config FILE] [--trace] ");
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
        } else if (a == QLatin1String("--trace")) {
            o.trace = true;
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
    if (c->onFiles) {
        if (o.simulate || !o.port.isEmpty())
            return fail(QStringLiteral("%1 работает с файлами, а не с линией").arg(o.command));
    } else if (o.simulate == !o.port.isEmpty()) {
        return fail(QStringLiteral("задайте --port PORT или --simulate"));
    }
    return o;
}

} // namespace cli
