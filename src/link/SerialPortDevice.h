#pragma once

#include "link/PortDevice.h"

#include <QSerialPort>

namespace bus {

// Why a port did not open, from Qt's error and the system's code, with the
// port's name and what to do about it.
PortOpenError explainedOpenError(const QString& name, QSerialPort::SerialPortError error,
                                 int systemCode, const QString& systemText);

// A real serial port through Qt: 9600 8N1, DTR and RTS off.
class SerialPortDevice final : public PortDevice {
  public:
    // Nothing when the port cannot be opened or configured; error says why.
    static std::unique_ptr<SerialPortDevice> open(const QString& name, PortOpenError& error);

    ~SerialPortDevice() override;

    QString name() const override { return m_port.portName(); }
    bool isOpen() const override;
    void close() override;
    void purge() override;
    bool write(const char* data, qsizetype size) override;
    qint64 bytesToWrite() override;
    qint64 read(char* data, qint64 max) override;
    void waitForActivity(int ms) override;

  private:
    SerialPortDevice() = default;
    QSerialPort m_port;
    bool m_gone = false;
};

} // namespace bus
