#include "ui/StartOptions.h"

#include <QCommandLineParser>

std::optional<StartOptions> parseStartOptions(const QStringList& arguments, QString* error) {
    StartOptions o;
    const QStringList words = arguments.mid(1);
    for (const QString& a : words) {
        o.noLayout |= a.contains(QLatin1String("NOK"));
        o.controllerStatus |= a.contains(QLatin1String("DGS"));
        o.segmentTest |= a.contains(QLatin1String("DGR"));
    }
    QCommandLineParser parser;
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("встроенная имитация установки"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("последовательный порт"),
                                  QStringLiteral("PATH"));
    const QCommandLineOption readOnly(QStringLiteral("read-only"),
                                      QStringLiteral("ничего не менять в устройствах"));
    const QCommandLineOption sitesFile(
        QStringLiteral("sites"),
        QStringLiteral("файл объектов (иначе ~/.config/orvant2/sites.cfg)"),
        QStringLiteral("FILE"));
    parser.addOption(simulate);
    parser.addOption(port);
    parser.addOption(readOnly);
    parser.addOption(sitesFile);
    parser.addPositionalArgument(QStringLiteral("scenario"),
                                 QStringLiteral("файл сценария для --simulate"));
    // Words that carry a service switch ("NOK", "-NOK", "--DGS", "/DGR") are
    // not options, unless they are one of ours or the path given to --port.
    auto isOurOption = [](QString a) {
        while (a.startsWith(QLatin1Char('-')))
            a.remove(0, 1);
        return a == QLatin1String("simulate") || a == QLatin1String("port") ||
               a.startsWith(QLatin1String("port=")) || a == QLatin1String("sites") ||
               a.startsWith(QLatin1String("sites="));
    };
    QStringList forParser{arguments.value(0)};
    bool portValue = false;
    for (const QString& a : words) {
        const bool switchOnly =
            !portValue && !isOurOption(a) &&
            (a.contains(QLatin1String("NOK")) || a.contains(QLatin1String("DGS")) ||
             a.contains(QLatin1String("DGR")));
        portValue = a == QLatin1String("--port") || a == QLatin1String("-port") ||
                    a == QLatin1String("--sites") || a == QLatin1String("-sites");
        if (!switchOnly)
            forParser << a;
    }
    if (!parser.parse(forParser)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    o.simulate = parser.isSet(simulate);
    o.port = parser.value(port);
    o.readOnly = parser.isSet(readOnly);
    o.sitesFile = parser.value(sitesFile);
    const QStringList rest = parser.positionalArguments();
    if (!rest.isEmpty()) {
        if (!o.simulate || rest.size() > 1) {
            *error = QStringLiteral("лишние слова: %1").arg(rest.join(QLatin1Char(' ')));
            return std::nullopt;
        }
        o.scenario = rest.first();
    }
    if (o.simulate && !o.port.isEmpty()) {
        *error = QStringLiteral("задайте --port или --simulate, не оба");
        return std::nullopt;
    }
    return o;
}

bool asksForHelp(const QStringList& arguments) {
    const QStringList words = arguments.mid(1);
    return words.contains(QLatin1String("--help")) || words.contains(QLatin1String("-h"));
}

QString startUsage() {
    return QStringLiteral(
        "использование: orvant2 [--port PATH | --simulate [SCENARIO]] [--read-only] "
        "[--sites FILE] [NOK] [DGS] [DGR]\n"
        "  --port PATH            открыть этот последовательный порт и сохранить его как "
        "основной\n"
        "  --simulate [SCENARIO]  работать со встроенной имитацией установки (или с установкой "
        "из файла сценария) вместо линии\n"
        "  --read-only            только чтение: ни один запрос, меняющий устройство, не "
        "отправляется\n"
        "  --sites FILE           файл объектов для «Объекты…» (иначе "
        "~/.config/orvant2/sites.cfg)\n"
        "  NOK                    взять порты из файла конфигурации, но не конфигурацию КИП\n"
        "  DGS                    начать с состояния КИП и прямого опроса\n"
        "  DGR                    показать панель проверки сегментов\n"
        "  --help, -h             эта справка\n");
}
