#include "cli/WatchCommand.h"

#include "cli/CliOptions.h"
#include "cli/ConsoleProgress.h"
#include "cli/LineLayout.h"
#include "cli/Output.h"
#include "sites/SitesFile.h"
#include "sites/Watcher.h"

#include <QDateTime>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace cli {
namespace {

// Local time with its offset from UTC, as a reader elsewhere needs it
// ("+00:00" too, never "Z").
QString stamp(qint64 ms) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
    const int offset = local.offsetFromUtc();
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
               .arg(std::abs(offset) / 60 % 60, 2, 10, QLatin1Char('0'));
}

QString eventText(const sites::SiteEvent& e) {
    using Kind = sites::SiteEvent::Kind;
    switch (e.kind) {
    case Kind::Polled:
        return QStringLiteral("опрошено %1 из %2, не в норме %3; следующий опрос через %4 с")
            .arg(e.answered)
            .arg(e.asked)
            .arg(e.notNormal)
            .arg(e.nextInSeconds);
    case Kind::Failed:
        return QStringLiteral("НЕТ СВЯЗИ%1; снова через %2 с")
            .arg(e.text.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(e.text))
            .arg(e.nextInSeconds);
    case Kind::NotLogged:
        return QStringLiteral("НЕ ЗАПИСАНО: %1; следующий опрос через %2 с")
            .arg(e.text)
            .arg(e.nextInSeconds);
    case Kind::Refused:
        return QStringLiteral("не опрашивается: %1").arg(e.text);
    case Kind::Stopped:
        return QStringLiteral("остановлен");
    case Kind::Progress:
        break;
    }
    return QStringLiteral("опрос %1/%2").arg(e.step).arg(e.steps);
}

// One line per site, redrawn in place on a terminal; one line per event
// otherwise (a journal, a file).
class WatchOutput {
  public:
    explicit WatchOutput(const std::vector<sites::Site>& sites)
        : m_sites(sites), m_tty(::isatty(STDOUT_FILENO) != 0), m_lines(sites.size()) {
        for (std::size_t i = 0; i < sites.size(); ++i)
            m_lines[i] = QStringLiteral("ждёт первого опроса");
        if (m_tty)
            draw(false);
    }
    void event(const sites::SiteEvent& e) {
        using Kind = sites::SiteEvent::Kind;
        const auto i = static_cast<std::size_t>(e.site);
        if (e.kind == Kind::Refused)
            ++m_refused;
        if (e.kind == Kind::Refused || e.kind == Kind::NotLogged)
            std::fprintf(stderr, "orvant2-cli: %s: %s\n", qPrintable(m_sites[i].name),
                         qPrintable(e.text));
        if (m_tty) {
            if (e.kind == Kind::Progress) {
                // The last poll's line stays, with how far this one is.
                m_lines[i] =
                    m_last[e.site] + QStringLiteral("  [опрос %1/%2]").arg(e.step).arg(e.steps);
            } else {
                m_last[e.site] = stamp(e.timeMs) + QLatin1Char(' ') + eventText(e);
                m_lines[i] = m_last[e.site];
            }
            draw(true);
            return;
        }
        if (e.kind == Kind::Progress)
            return;
        std::printf("%s\t%s\t%s\n", qPrintable(stamp(e.timeMs)), qPrintable(m_sites[i].name),
                    qPrintable(eventText(e)));
        // Flushed and checked: an output lost stops the watch between polls.
        outputProblem();
    }
    int refused() const { return m_refused; }

  private:
    void draw(bool again) {
        if (again)
            std::printf("\033[%zuA", m_lines.size());
        for (std::size_t i = 0; i < m_lines.size(); ++i)
            std::printf("\r\033[K%s: %s\n", qPrintable(m_sites[i].name), qPrintable(m_lines[i]));
        outputProblem();
    }

    const std::vector<sites::Site>& m_sites;
    bool m_tty;
    std::vector<QString> m_lines;
    std::map<int, QString> m_last;
    int m_refused = 0;
};

} // namespace

int runWatch(const CliOptions& o) {
    const QStringList& args = o.commandArgs;
    sites::WatchOptions options;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--log") && i + 1 < args.size()) {
            options.log = args[++i];
        } else if (args[i] == QLatin1String("--keep") && i + 1 < args.size()) {
            QString days = args[++i];
            bool ok = days.endsWith(QLatin1Char('d'));
            days.chop(1);
            options.keepDays = ok ? days.toInt(&ok) : 0;
            if (!ok || options.keepDays < 1)
                return fail(QStringLiteral("--keep: нужно число дней, например 90d"));
        } else {
            return fail(QStringLiteral("watch: только --log LOG и --keep DAYSd"));
        }
    }
    if (options.log.isEmpty())
        return fail(QStringLiteral("watch: нужен журнал --log LOG"));
    const QString path = o.sitesFile.isEmpty() ? sites::defaultSitesPath() : o.sitesFile;
    QString error;
    const auto file = sites::loadSites(path, &error);
    if (!file)
        return fail(error);
    if (file->sites.empty())
        return fail(path + QStringLiteral(": нет ни одного объекта"));
    WatchOutput output(file->sites);
    options.stopBetweenPolls = [] { return signalsReceived() >= 1 || outputLost(); };
    options.stopAtOnce = [] { return signalsReceived() >= 2; };
    options.report = [&output](const sites::SiteEvent& e) { output.event(e); };
    sites::watchSites(file->sites, options);
    // Sites the log refused (another watcher has them, the log is not
    // there) were never watched.
    if (output.refused() == static_cast<int>(file->sites.size()))
        return 1;
    return output.refused() > 0 ? 1 : 0;
}

} // namespace cli
