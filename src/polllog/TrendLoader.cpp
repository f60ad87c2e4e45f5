#include "polllog/TrendLoader.h"

#include <QThread>

#include <algorithm>

namespace polllog {

// Lives on the loader's thread: its log (and so its SQLite connection) is
// opened, used and closed there only.
class TrendLoader::Reader final : public QObject {
  public:
    std::shared_ptr<TrendData> read(const TrendRequest& request) {
        auto data = std::make_shared<TrendData>();
        data->request = request;
        data->thread = QThread::currentThreadId();
        // Opened afresh for each read: the file may have been made, changed
        // or replaced since.
        const QString why = m_log.open(request.path, PollLog::Access::Read);
        if (!why.isEmpty()) {
            data->error = why;
            data->fault = m_log.fault();
            return data;
        }
        data->logged = m_log.sensors();
        data->sensors = request.sensors;
        if (request.firstLook && data->sensors.empty())
            data->sensors.assign(data->logged.begin(),
                                 data->logged.begin() +
                                     std::min<std::ptrdiff_t>(kFirstLook, data->logged.size()));
        data->series = m_log.series(data->sensors, request.quantity, request.fromMs, request.toMs);
        m_log.close();
        return data;
    }
    void close() { m_log.close(); }

  private:
    PollLog m_log;
};

TrendLoader::TrendLoader(QObject* parent) : QObject(parent) {
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("trends"));
    m_reader = new Reader;
    m_reader->moveToThread(m_thread);
    m_thread->start();
}

TrendLoader::~TrendLoader() {
    // The connection is closed where it was opened, then the thread ends.
    QMetaObject::invokeMethod(
        m_reader, [reader = m_reader] { reader->close(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_reader;
}

int TrendLoader::load(const TrendRequest& request) {
    const int number = ++m_number;
    if (m_running)
        m_waiting.emplace(number, request);
    else
        start(number, request);
    return number;
}

void TrendLoader::start(int number, const TrendRequest& request) {
    m_running = true;
    QMetaObject::invokeMethod(
        m_reader,
        [this, reader = m_reader, number, request] {
            std::shared_ptr<const TrendData> data = reader->read(request);
            // Back to the loader's thread; dropped there if it is gone.
            QMetaObject::invokeMethod(
                this, [this, number, data] { finished(number, data); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void TrendLoader::finished(int number, std::shared_ptr<const TrendData> data) {
    m_running = false;
    if (m_waiting) {
        const auto [next, request] = *m_waiting;
        m_waiting.reset();
        start(next, request);
    }
    emit loaded(number, std::move(data));
}

} // namespace polllog
