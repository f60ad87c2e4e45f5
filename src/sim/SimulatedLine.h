#pragma once

#include "link/PortDevice.h"
#include "sim/Wire.h"

namespace sim {

// The in-process port: the link talks straight to the simulated devices.
class SimulatedLine final : public bus::PortDevice {
  public:
    static inline const QString kPortName = QStringLiteral("SIM");
    // The cable to the controllers' keyboard/display processors.
    static inline const QString kKeyboardPortName = QStringLiteral("SIM-KBD");

    // On virtual time the line keeps a clock of its own that jumps to the
    // next event instead of sleeping: a 500 ms silence costs nothing.
    SimulatedLine(std::shared_ptr<Installation> installation, bool wireTime,
                  bool virtualTime = false, Cpu cpu = Cpu::Main);

    Wire& wire() { return m_wire; }
    // As when a USB adapter is pulled: the port is gone.
    void unplug() { m_open = false; }
    // Lets time pass on a virtual clock; on real time it sleeps.
    void advance(std::chrono::milliseconds ms);

    QString name() const override { return m_cpu == Cpu::Main ? kPortName : kKeyboardPortName; }
    bool isOpen() const override { return m_open; }
    void close() override { m_open = false; }
    void purge() override;
    bool write(const char* data, qsizetype size) override;
    qint64 bytesToWrite() override;
    qint64 read(char* data, qint64 max) override;
    void waitForActivity(int ms) override;
    qint64 clockMs() const override;

  private:
    void collect();
    Wire::Clock::time_point now() const;
    void sleepUntil(Wire::Clock::time_point t);

    Wire m_wire;
    QByteArray m_inbox;
    bool m_open = true;
    bool m_virtualTime;
    Cpu m_cpu;
    Wire::Clock::time_point m_virtualNow;
};

// A port opener for SerialLink::addVirtualPort over one installation: the
// keyboard port name opens the keyboard/display processors' line.
bus::PortOpener simulatedPortOpener(std::shared_ptr<Installation> installation, bool wireTime,
                                    bool virtualTime = false);

} // namespace sim
