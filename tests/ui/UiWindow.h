#pragma once

#include "common/TestFiles.h"
#include "sim/SimulatedLine.h"
#include "ui/StartOptions.h"
#include "ui/TMForm.h"

#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

// The main window on a simulated installation (virtual time), with its own
// configuration file and the port error boxes collected instead of shown.
struct Window {
    // settingsFolder: where the window's own settings are kept; a fresh
    // folder of this window when empty.
    explicit Window(const char* scenario, const QString& configText = {}, StartOptions options = {},
                    const QString& settingsFolder = {}) {
        useSettingsFolder(settingsFolder.isEmpty() ? dir.filePath(QStringLiteral("settings"))
                                                   : settingsFolder);
        config = configText.isEmpty() ? dir.filePath(QStringLiteral("orvant2.cfg"))
                                      : putFile(dir, "orvant2.cfg", configText.toUtf8());
        bus::PortOpener opener;
        if (scenario) {
            QString error;
            installation = std::make_shared<sim::Installation>(
                *sim::parseScenario(QString::fromUtf8(scenario), &error));
            options.simulate = true;
            opener = sim::simulatedPortOpener(installation, true, true);
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

    QTemporaryDir dir;
    QString config;
    std::shared_ptr<sim::Installation> installation;
    std::unique_ptr<TMForm> form;
    QStringList boxes;
};
