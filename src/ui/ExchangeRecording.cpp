#include "ui/ExchangeRecording.h"

#include "app/FileWriter.h"
#include "link/SerialLink.h"

#include <QTimer>

namespace {
constexpr int kSaveEveryMs = 3000;
}

ExchangeRecording::ExchangeRecording(bus::SerialLink& link, QObject* parent)
    : QObject(parent), m_link(link), m_timer(new QTimer(this)) {
    m_timer->setInterval(kSaveEveryMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (m_recorder && m_recorder->records() != m_saved)
            if (const QString why = save(); !why.isEmpty()) {
                m_link.setRecorder(nullptr);
                m_recorder.reset();
                m_timer->stop();
                emit failed(why);
            }
    });
}

ExchangeRecording::~ExchangeRecording() {
    if (m_recorder)
        stop();
}

QString ExchangeRecording::start(const QString& path, const QString& portName) {
    if (m_recorder)
        stop();
    m_recorder = std::make_unique<bus::LineRecorder>(portName);
    m_path = path;
    m_saved = 0;
    // Written at once, so that a file that cannot be is said now.
    if (const QString why = save(); !why.isEmpty()) {
        m_recorder.reset();
        return why;
    }
    m_link.setRecorder(m_recorder.get());
    m_timer->start();
    return {};
}

QString ExchangeRecording::stop() {
    if (!m_recorder)
        return {};
    m_link.setRecorder(nullptr);
    m_timer->stop();
    const QString why = save();
    m_recorder.reset();
    return why;
}

QString ExchangeRecording::save() {
    const int records = m_recorder->records();
    const app::FileResult r = app::writePrivateFileAtomically(m_path, m_recorder->text());
    if (!r.ok())
        return r.message();
    m_saved = records;
    return {};
}
