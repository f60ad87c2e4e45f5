#pragma once

#include "app/FileWriter.h"
#include "polllog/PollRows.h"
#include "sensor/StatusGrid.h"

#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

// The poll log of a site: one SQLite file holding every recorded poll of
// the overview pages, one row per sensor per poll.
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

// The file's layout: 1 had the general status only, 2 adds the extended
// status and the configuration overview. A file of version 1 opens and is
// brought to 2 by the first opening that may write.
inline constexpr int kSchemaVersion = 2;

class PollLog {
  public:
    // Record: polls are written (the file made by the first poll with
    // answers). Read: the file must be there and is only read (trends).
    enum class Access { Record, Read };

    PollLog();
    ~PollLog();
    PollLog(const PollLog&) = delete;
    PollLog& operator=(const PollLog&) = delete;

    // Opens the log. A missing file is not made yet: the first poll that
    // has answers makes it, so a silent line leaves no empty log behind.
    // Empty on success, else "<path>: <reason>" in the engineer's words.
    QString open(const QString& path, Access access = Access::Record);
    // Ready to record (or to read): the file is open, or will be made by
    // the first poll with answers.
    bool isOpen() const { return m_db.isOpen() || m_pending; }
    // The file is there and open.
    bool fileOpen() const { return m_db.isOpen(); }
    void close();
    QString path() const { return m_path; }
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

  private:
    class Checkpointer;
    using RowWriter = std::function<bool(QSqlQuery& q, qint64 poll)>;

    QString failure(const QString& nativeCode);
    QString refuse(app::FileFault fault, const QString& why);
    QString openConnection();
    QString make();
    // The file made here that holds no poll: removed with its companions.
    void discardMade();
    QString recordPoll(PollKind kind, qint64 timeMs, bool hasData, const RowWriter& write);

    QString m_connection;
    QString m_path;
    QSqlDatabase m_db;
    Access m_access = Access::Record;
    bool m_pending = false; // the file is made by the first poll with answers
    bool m_made = false;    // this log made the file
    int m_recorded = 0;     // polls recorded since it was opened
    app::FileFault m_fault = app::FileFault::None;
    std::unique_ptr<Checkpointer> m_checkpointer;
    QString m_checkpointFailure; // SQLite's code of the last failed checkpoint
    bool m_checkpointSaid = false;
};

} // namespace polllog
