#pragma once

#include "common/BridgedPort.h"
#include "common/SimHarness.h"
#include "common/SimProcess.h"
#include "common/TcpBridge.h"
#include "common/TestFiles.h"
#include "sim/SimulatedLine.h"
#include "ui/LayoutActions.h"
#include "ui/StartOptions.h"
#include "ui/TMForm.h"

#include <QLabel>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// The one place the window tests start and stop the simulator.
//
// Window: the main window on a simulated installation (virtual time), with
// its own configuration file and settings store, the port error boxes
// collected instead of shown, and the line at hand so that the adapter can
// be pulled. With Transport::Tcp the main port is a raw TCP connection to
// the installation, as to a line behind ser2net. No scenario: no
// installation, and no port opened at start.
struct Window {
    // settingsFolder: where the window's own settings are kept; a fresh
    // folder of this window when empty.
    explicit Window(const char* scenario, const QString& configText = {}, StartOptions options = {},
                    const QString& settingsFolder = {}, Transport transport = Transport::Direct) {
        useSettingsFolder(settingsFolder.isEmpty() ? dir.filePath(QStringLiteral("settings"))
                                                   : settingsFolder);
        config = configText.isEmpty() ? dir.filePath(QStringLiteral("orvant2.cfg"))
                                      : putFile(dir, "orvant2.cfg", configText.toUtf8());
        bus::PortOpener opener;
        if (scenario) {
            installation = std::make_shared<sim::Installation>(scenarioFrom(scenario));
            options.simulate = true;
            opener = [this, transport](const QString& name, bus::PortOpenError&) {
                return openLine(name, transport);
            };
        }
        form = std::make_unique<TMForm>(options, app::ConfigFile(config), opener);
        form->setErrorBox(
            [this](const QString& caption, const QString& text) { boxes << caption + "|" + text; });
        form->Start();
    }
    // Window settings of later windows go to folder, never the user's own.
    static void useSettingsFolder(const QString& folder) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
    }
    template <typename T> T* find(const char* name) const {
        return form->findChild<T*>(QLatin1String(name));
    }
    QString mess() const { return form->statusText(); }
    QString configText() const { return QString::fromUtf8(fileBytes(config)); }
    // The adapter pulled, or the far end gone.
    void unplug() {
        if (bridges.empty())
            line->unplug();
        else
            bridges.back()->drop();
    }

    QTemporaryDir dir;
    QString config;
    std::shared_ptr<sim::Installation> installation;
    // The line the window opened last.
    sim::SimulatedLine* line = nullptr;
    std::vector<std::unique_ptr<TcpBridge>> bridges;
    std::unique_ptr<TMForm> form;
    QStringList boxes;

  private:
    std::unique_ptr<bus::PortDevice> openLine(const QString& name, Transport transport) {
        const sim::Cpu cpu =
            name == sim::SimulatedLine::kKeyboardPortName ? sim::Cpu::Keyboard : sim::Cpu::Main;
        if (transport == Transport::Tcp && cpu == sim::Cpu::Main) {
            // Each opening gets a far end of its own; the old one stays
            // until the window is gone.
            bridges.push_back(std::make_unique<TcpBridge>(installation, TcpBridge::Time::Virtual));
            TcpBridge& bridge = *bridges.back();
            line = &bridge.line();
            return bridge.listen() ? BridgedPort::open(bridge) : nullptr;
        }
        auto l = std::make_unique<sim::SimulatedLine>(installation, true, true, cpu);
        line = l.get();
        return l;
    }
};

