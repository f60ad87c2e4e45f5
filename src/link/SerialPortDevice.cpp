#include "link/SerialPortDevice.h"

#include <cerrno>

namespace bus {
namespace {

constexpr int kMaxMessageLength = 63;

PortOpenError errorOf(const QSerialPort& port, int systemCode, const QString& suffix) {
    PortOpenError e;
    // The system's own code where the open left one, otherwise Qt's.
    e.code = systemCode != 0 ? systemCode : static_cast<int>(port.error());
    e.suffix = suffix;
    e.message = port.errorString().left(kMaxMessageLength);
    return e;
}

} // namespace

PortOpenError explainedOpenError(const QString& name, QSerialPort::SerialPortError error,
                                 int systemCode, const QString& systemText) {
    PortOpenError e;
    e.code = systemCode != 0 ? systemCode : static_cast<int>(error);
    e.suffix = kSuffixPortUnavailable;
    e.message = systemText.left(kMaxMessageLength);
    if (error == QSerialPort::DeviceNotFoundError || systemCode == ENOENT) {
        e.explanation = QStringLiteral("Порт %1 не существует.").arg(name);
    } else if (systemCode == EACCES) {
        e.explanation = QStringLiteral("Нет прав на порт %1. Добавьте пользователя в группу "
                                       "dialout (sudo usermod -aG dialout $USER) и войдите "
                                       "в систему заново.")
                            .arg(name);
    } else if (systemCode == EBUSY || error == QSerialPort::PermissionError) {
        // Qt reports a port locked by another program as a permission error.
        e.busy = true;
        e.explanation = QStringLiteral("Порт %1 занят другой программой.").arg(name);
    } else if (systemCode == ENOTTY || systemCode == EINVAL) {
        e.explanation = QStringLiteral("%1 — не последовательный порт.").arg(name);
    } else {
        e.explanation = QStringLiteral("Порт %1 не открывается.").arg(name);
    }
    return e;
}

std::unique_ptr<SerialPortDevice> SerialPortDevice::open(const QString& name,
                                                         PortOpenError& error) {
    std::unique_ptr<SerialPortDevice> dev(new SerialPortDevice);
    QSerialPort& p = dev->m_port;
    p.setPortName(name);
    p.setBaudRate(QSerialPort::Baud9600);
    p.setDataBits(QSerialPort::Data8);
    p.setParity(QSerialPort::NoParity);
    p.setStopBits(QSerialPort::OneStop);
    errno = 0;
    if (!p.open(QIODevice::ReadWrite)) {
        const int code = errno;
        error = explainedOpenError(name, p.error(), code, p.errorString());
        return nullptr;
    }
    // Settings refused by the driver close the port again.
    if (p.baudRate() != QSerialPort::Baud9600 || p.dataBits() != QSerialPort::Data8 ||
        p.parity() != QSerialPort::NoParity || p.stopBits() != QSerialPort::OneStop) {
        error = errorOf(p, 0, kSuffixDcbUnavailable);
        p.close();
        return nullptr;
    }
    // Lines without modem signals (pseudo-terminals, some adapters) refuse
    // these; the protocol does not need them, so a refusal is not an error.
    p.setDataTerminalReady(false);
    p.setRequestToSend(false);
    p.clearError();
    p.clear(QSerialPort::AllDirections);

    SerialPortDevice* raw = dev.get();
    QObject::connect(&p, &QSerialPort::errorOccurred, &p, [raw](QSerialPort::SerialPortError e) {
        // An unplugged adapter reports a resource error; the port is gone.
        if (e == QSerialPort::ResourceError)
            raw->m_gone = true;
    });
    return dev;
}

SerialPortDevice::~SerialPortDevice() {
    close();
}

bool SerialPortDevice::isOpen() const {
    return m_port.isOpen() && !m_gone;
}

void SerialPortDevice::close() {
    if (m_port.isOpen()) {
        m_port.clearError();
        m_port.close();
    }
}

void SerialPortDevice::purge() {
    if (!m_port.isOpen())
        return;
    m_port.clear(QSerialPort::AllDirections);
    // Drop what Qt already buffered as well as what the driver held.
    m_port.readAll();
}

bool SerialPortDevice::write(const char* data, qsizetype size) {
    return isOpen() && m_port.write(data, size) == size;
}

qint64 SerialPortDevice::bytesToWrite() {
    if (!isOpen())
        return 0;
    if (m_port.bytesToWrite() > 0)
        m_port.flush();
    return m_port.bytesToWrite();
}

qint64 SerialPortDevice::read(char* data, qint64 max) {
    if (!isOpen())
        return 0;
    const qint64 n = m_port.read(data, max);
    return n < 0 ? 0 : n;
}

void SerialPortDevice::waitForActivity(int ms) {
    if (!isOpen())
        return;
    if (m_port.bytesToWrite() > 0)
        m_port.waitForBytesWritten(ms);
    else
        m_port.waitForReadyRead(ms);
}

} // namespace bus
