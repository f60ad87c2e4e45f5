#pragma once

#include "polllog/PollLog.h"

#include <QObject>

#include <memory>
#include <optional>

class QThread;

namespace polllog {

// What the trends want read from a log.
struct TrendRequest {
    QString path;
    // Empty with firstLook: the first few sensors the log holds.
    std::vector<int> sensors;
    bool firstLook = false;
    Quantity quantity = Quantity::Fuel;
    qint64 fromMs = 0;
    qint64 toMs = 0;
};

// What was read: the log's sensors and the raw points of the ones asked.
struct TrendData {
    TrendRequest request;
    QString error; // empty when the log was read
    app::FileFault fault = app::FileFault::None;
    std::vector<int> logged; // every sensor of the log, ascending
    std::vector<int> sensors; // the ones read (firstLook: those chosen)
    Series series;
    Qt::HANDLE thread = nullptr; // the thread that read it (tests)
};

// Reads the trends on a thread of its own with a connection of its own to
// the log, so that the window stays responsive while a week is read. One
// read runs at a time; a request made meanwhile waits, and a newer one
// takes the place of a waiting one.
class TrendLoader final : public QObject {
    Q_OBJECT
  public:
    static constexpr int kFirstLook = 4;

    explicit TrendLoader(QObject* parent = nullptr);
    ~TrendLoader() override;

    // The request's number; loaded() brings its data back on this thread.
    int load(const TrendRequest& request);
    // A read runs or waits.
    bool busy() const { return m_running || m_waiting.has_value(); }

  signals:
    void loaded(int number, std::shared_ptr<const polllog::TrendData> data);

  private:
    class Reader;
    void start(int number, const TrendRequest& request);
    void finished(int number, std::shared_ptr<const TrendData> data);

    QThread* m_thread = nullptr;
    Reader* m_reader = nullptr;
    int m_number = 0;
    bool m_running = false;
    std::optional<std::pair<int, TrendRequest>> m_waiting;
};

} // namespace polllog
