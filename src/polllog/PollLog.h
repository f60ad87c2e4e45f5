#pragma once

#include "polllog/PollRows.h"
#include "sensor/StatusGrid.h"

#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <vector>

// The poll log of a site: one SQLite file holding every recorded poll of
// the general status, one row per sensor per poll.
namespace polllog {

// How the general status was read.
enum class PollKind { Combined = 1, PerValue = 2 };

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

class PollLog {
  public:
    PollLog();
    ~PollLog();
    PollLog(const PollLog&) = delete;
    PollLog& operator=(const PollLog&) = delete;

    // Opens the log, creating it when missing. Empty on success, else
    // "<path>: <reason>" in the engineer's words.
    QString open(const QString& path);
    bool isOpen() const { return m_db.isOpen(); }
    void close();
    QString path() const { return m_path; }

    // One transaction per poll: a crash loses at most the poll in progress.
    // Rows without a sensor number are not kept. Empty on success.
    QString record(const sensor::StatusGrid& grid, PollKind kind, qint64 timeMs);
    QString record(const std::vector<SensorRow>& rows, PollKind kind, qint64 timeMs);

    // The values of one quantity between from and to (inclusive), per
    // sensor, in time order; a fault status or a missing value is NaN.
    Series series(const std::vector<int>& sensors, Quantity q, qint64 fromMs, qint64 toMs) const;
    // Start of the sensor's current run of polls that were not normal;
    // nothing when its last poll was normal or it was never logged.
    std::optional<qint64> faultSince(int sensor) const;
    int pollCount() const;
    // The sensor numbers the log holds readings of, ascending.
    std::vector<int> sensors() const;
    // Rows in poll order, then sensor order; false when the walk failed.
    bool forEachRow(qint64 fromMs, qint64 toMs, std::optional<int> sensor,
                    const std::function<void(const LoggedRow&)>& visit) const;

  private:
    QString failure(const QString& nativeCode) const;

    QString m_connection;
    QString m_path;
    QSqlDatabase m_db;
};

} // namespace polllog
