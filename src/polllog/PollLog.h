#pragma once

#include "app/FileWriter.h"
#include "polllog/LogAddress.h"
#include "polllog/LogSchema.h"
#include "polllog/PollRows.h"
#include "sensor/StatusGrid.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QVariant>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

// The poll log: every recorded poll of the overview pages, one row per
// sensor per poll, each poll of a site. A SQLite file (one engineer, one
// site or a watcher's several) or a PostgreSQL database that several
// watchers on several machines share.
namespace polllog {

// How a poll was made: the general status read combined or per value, the
// extended status, the configuration overview.
enum class PollKind { Combined = 1, PerValue = 2, Extended = 3, Overview = 4 };
// The page a poll was of.
enum class Page { General, Extended, Overview };
Page pageOf(PollKind kind);

struct Point {
    qint64 timeMs = 0; // UTC
    double value = 0;  // NaN: a gap (fault status or no value)
};
using Series = std::map<int, std::vector<Point>>; // by sensor number

struct LoggedRow {
    qint64 timeMs = 0;
    PollKind kind = PollKind::Combined;
    SensorRow row;
};
struct LoggedExtendedRow {
    qint64 timeMs = 0;
    ExtendedRow row;
};
struct LoggedOverviewRow {
    qint64 timeMs = 0;
    OverviewRow row;
};

// The spread of one quantity over an interval.
struct Spread {
    double min = 0;
    double mean = 0;
    double max = 0;
};
struct IntervalRow {
    qint64 startMs = 0; // UTC
    int sensor = 0;
    std::array<std::optional<Spread>, kQuantities> values; // none: no normal value
};

// A site as its last general poll left it.
struct SiteState {
    QString site;
    std::optional<qint64> lastPollMs;    // none: never polled
    bool answered = false;               // anyone on its line answered the last poll
    int sensors = 0;                     // rows of that poll
    int notNormal = 0;                   // of them, not in norm (silent ones included)
    std::optional<qint64> silentSinceMs; // not answered: since the first such poll
};

// The log's layout: 1 had the general status only, 2 adds the extended
// status and the configuration overview, 3 the site of every poll. A file
// of an earlier version opens and is brought to 3 by the first opening
// that may write; one opened only to read is read as it is.
inline constexpr int kSchemaVersion = 3;

class PollLog {
  public:
    // Record: polls are written (the file made by the first poll with
    // answers). Read: the file must be there and is only read (trends).
    // Maintain: the log must be there; old polls may be dropped, none is
    // recorded, and no site is taken.
    enum class Access { Record, Read, Maintain };

    PollLog();
    ~PollLog();
    PollLog(const PollLog&) = delete;
    PollLog& operator=(const PollLog&) = delete;

    // Opens the log: a file path or postgresql://USER@HOST:PORT/DB. A
    // missing file is not made yet: the first poll that has answers makes
    // it, so a silent line leaves no empty log behind; a server's tables are
    // made (or brought to this version) by the first writer. Empty on
    // success, else "<path>: <reason>" in the engineer's words.
    //
    // site names whose polls are recorded or read ("" for the log of the
    // line at hand). Recording a named site takes its writer's lock: a
    // second writer of the same site is refused (Busy) while the first
    // lives. Reading with "" a log that holds one site reads that one.
    QString open(const QString& path, Access access = Access::Record, const QString& site = {});
    // Ready to record (or to read): the file is open, or will be made by
    // the first poll with answers.
    bool isOpen() const { return m_db.isOpen() || m_pending; }
    // A poll without answers makes the file too: the watcher's log says
    // from its first poll which site is out of reach.
    void makeOnAnyPoll() { m_makeOnAnyPoll = true; }
    // The file is there and open.
    bool fileOpen() const { return m_db.isOpen(); }
    void close();
    // The log as shown to the engineer (a server's address without any
    // password).
    QString path() const { return m_path; }
    bool onServer() const { return m_address.server; }
    QString site() const { return m_site; }
    // Every site the log holds polls of, by name.
    std::vector<QString> siteNames() const;
    // Every site's state, by name, read from the log alone.
    std::vector<SiteState> siteStates() const;
    // Why the last open or record failed; None after success, Broken for
    // a file that is not a poll log.
    app::FileFault fault() const { return m_fault; }
    // The layout version of the open file (kSchemaVersion once written).
    int schemaVersion() const;

    // One transaction per poll: a crash loses at most the poll in progress.
    // Rows without a sensor number are not kept. Empty on success; a poll
    // without answers on a log whose file is not made yet is no failure,
    // and leaves no file.
    QString record(const sensor::StatusGrid& grid, PollKind kind, qint64 timeMs);
    QString record(const std::vector<SensorRow>& rows, PollKind kind, qint64 timeMs);
    QString recordExtended(const sensor::StatusGrid& thermometers,
                           const sensor::StatusGrid& densities, qint64 timeMs);
    QString recordExtended(const std::vector<ExtendedRow>& rows, qint64 timeMs);
    QString recordOverview(const sensor::StatusGrid& grid, qint64 timeMs);
    QString recordOverview(const std::vector<OverviewRow>& rows, qint64 timeMs);

    // A commit only appends to the write-ahead log; copying it into the
    // file (the checkpoint, with its waits for the disk) is left to the
    // time between polls. checkpoint() does it now without waiting for
    // readers; checkpointInBackground() has a thread of its own (with its
    // own connection) do it, so the caller never waits.
    void checkpoint();
    void checkpointInBackground();
    // A checkpoint that failed (a full disk) leaves the polls in the
    // write-ahead log, which grows: the text for the engineer the first
    // time, empty after that until one works and fails again.
    QString checkpointProblem();

    // Drops the polls before beforeMs (UTC) of this site, or of every site,
    // in short transactions so that writers are never held up for long.
    // The number of polls dropped, or -1 when the log refused (fault()).
    int prune(qint64 beforeMs, bool everySite = false);

    // The values of one quantity between from and to (inclusive), per
    // sensor, in time order; a fault status or a missing value is NaN.
    Series series(const std::vector<int>& sensors, Quantity q, qint64 fromMs, qint64 toMs) const;
    // Start of the sensor's current run of polls that were not normal;
    // nothing when its last poll was normal or it was never logged.
    std::optional<qint64> faultSince(int sensor) const;
    // Polls of every page, or of one.
    int pollCount() const;
    int pollCount(Page page) const;
    // The sensor numbers the log holds general readings of, ascending.
    std::vector<int> sensors() const;
    // Rows in poll order, then sensor order; false when the walk failed.
    bool forEachRow(qint64 fromMs, qint64 toMs, std::optional<int> sensor,
                    const std::function<void(const LoggedRow&)>& visit) const;
    bool forEachExtendedRow(qint64 fromMs, qint64 toMs, std::optional<int> sensor,
                            const std::function<void(const LoggedExtendedRow&)>& visit) const;
    bool forEachOverviewRow(qint64 fromMs, qint64 toMs, std::optional<int> sensor,
                            const std::function<void(const LoggedOverviewRow&)>& visit) const;
    // Minimum, mean and maximum of each general quantity per sensor per
    // interval of stepMs, over the values shown normal; intervals begin at
    // multiples of stepMs from offsetMs past the epoch (a UTC offset makes
    // them local hours or days). The engine adds them up: only the results
    // cross over, in interval order, then sensor order.
    bool forEachInterval(qint64 fromMs, qint64 toMs, qint64 stepMs, qint64 offsetMs,
                         std::optional<int> sensor,
                         const std::function<void(const IntervalRow&)>& visit) const;

  private:
    class Checkpointer;
    class SiteLock;
    using RowWriter = std::function<bool(QSqlQuery& q, qint64 poll)>;

    Engine engine() const { return m_address.server ? Engine::Postgres : Engine::Sqlite; }
    QString failure(const QSqlError& error);
    void closeConnection();
    QString refuse(app::FileFault fault, const QString& why);
    QString openConnection();
    QString prepareFile(bool empty);
    QString prepareServer();
    QString takeSite();
    QString lockSite();
    bool reconnect();
    QString make();
    // The file made here that holds no poll: removed with its companions.
    void discardMade();
    QString recordPoll(PollKind kind, qint64 timeMs, int answered, const RowWriter& write);
    // Runs sql on q: its placeholders first, then the site (of the polls and
    // of the rows), the times and, when given, the sensor.
    bool selectBetween(QSqlQuery& q, const QString& sql, qint64 fromMs, qint64 toMs,
                       std::optional<int> sensor, const QVariantList& first = {}) const;
    // A table of the file itself (not a view over an earlier version's).
    static bool hasTable(const QSqlDatabase& db, const QString& name);

    QString m_connection;
    QString m_path;
    LogAddress m_address;
    QString m_site;
    int m_siteId = 0; // 0: none of the log's sites (reads find nothing)
    QSqlDatabase m_db;
    Access m_access = Access::Record;
    bool m_pending = false;       // the file is made by the first poll with answers
    bool m_made = false;          // this log made the file
    bool m_makeOnAnyPoll = false; // a poll without answers makes it too
    int m_recorded = 0;           // polls recorded since it was opened
    app::FileFault m_fault = app::FileFault::None;
    std::unique_ptr<Checkpointer> m_checkpointer;
    QString m_checkpointFailure; // SQLite's code of the last failed checkpoint
    bool m_checkpointSaid = false;
    std::unique_ptr<SiteLock> m_siteLock;
};

} // namespace polllog
