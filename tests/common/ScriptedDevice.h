#pragma once

#include "link/PortDevice.h"
#include "link/SerialLink.h"

#include <QByteArray>
#include <QThread>

#include <memory>

// A port whose input is whatever the test queues; records what was written.
class ScriptedDevice final : public bus::PortDevice {
  public:
    QByteArray written;
    QByteArray input;       // delivered at the next read
    QByteArray afterWrite;  // queued as input once something is written
    QByteArrayList replies; // one queued per write after that, in order
    bool open = true;
    bool echo = false; // the adapter hears its own transmitter
    int purges = 0;

    QString name() const override { return QStringLiteral("SCRIPT"); }
    bool isOpen() const override { return open; }
    void close() override { open = false; }
    void purge() override {
        ++purges;
        input.clear();
    }
    bool write(const char* data, qsizetype size) override {
        written.append(data, size);
        if (echo)
            input.append(data, size);
        input.append(afterWrite);
        afterWrite.clear();
        if (!replies.isEmpty())
            input.append(replies.takeFirst());
        return true;
    }
    qint64 bytesToWrite() override { return 0; }
    qint64 read(char* data, qint64 max) override {
        const qint64 n = std::min<qint64>(max, input.size());
        std::copy(input.constData(), input.constData() + n, data);
        input.remove(0, n);
        return n;
    }
    void waitForActivity(int ms) override {
        if (input.isEmpty())
            QThread::msleep(std::min(ms, 1));
    }
};

// A link whose device answers each request with the next reply given.
struct ScriptedLink {
    explicit ScriptedLink(QByteArrayList replies) {
        auto dev = std::make_unique<ScriptedDevice>();
        device = dev.get();
        device->replies = std::move(replies);
        link.attach(std::move(dev));
    }
    bus::SerialLink link;
    ScriptedDevice* device = nullptr;
};
