#include "ui/LineModes.h"

#include "app/FileWriter.h"
#include "link/SerialLink.h"
#include "link/LinkObserver.h"
#include "ui/ExchangeRecording.h"
#include "ui/LineMenu.h"
#include "ui/WindowSettings.h"
#include "ui/WriteControls.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QSettings>
#include <QSignalBlocker>
#include <QStatusBar>

LineModes::LineModes(bus::SerialLink& link, QMainWindow& window, LineMenu& menu,
                     std::function<void(const QString&)> say)
    : QObject(&window), m_link(link), m_window(window), m_menu(menu), m_say(std::move(say)),
      m_title(window.windowTitle()) {
    // Beside the status line, which every action clears: always in sight.
    m_readOnlyMark = new QLabel(bus::kReadOnlyMark, &window);
    m_readOnlyMark->setObjectName(QStringLiteral("stReadOnly"));
    QFont f = m_readOnlyMark->font();
    f.setBold(true);
    m_readOnlyMark->setFont(f);
    m_readOnlyMark->setStyleSheet(
        QStringLiteral("color: white; background-color: #B03030; padding: 1px 6px;"));
    m_readOnlyMark->hide();
    window.statusBar()->addPermanentWidget(m_readOnlyMark);

    m_recording = new ExchangeRecording(m_link, this);
    m_chooseRecordFile = [this] {
        return QFileDialog::getSaveFileName(&m_window, QStringLiteral("Записывать обмен"),
                                            app::writableFolder(QString()),
                                            QStringLiteral("Запись обмена (*.rec)"));
    };
    connect(&menu, &LineMenu::recordToggled, this, &LineModes::recordToggled);
    connect(m_recording, &ExchangeRecording::failed, this, [this](const QString& why) {
        m_say(QStringLiteral("ЗАПИСЬ ОБМЕНА ОСТАНОВЛЕНА: ") + why);
        QSignalBlocker quiet(m_menu.recordAction());
        m_menu.recordAction()->setChecked(false);
    });
    connect(&menu, &LineMenu::readOnlyToggled, this, [this](bool on) {
        setReadOnly(on);
        QSettings store = windowSettingsStore();
        rememberReadOnly(store, on);
    });
}

void LineModes::restore(bool startOption) {
    setReadOnly(startOption || readOnlyRemembered(windowSettingsStore()));
}

void LineModes::setReadOnly(bool on) {
    m_link.setReadOnly(on);
    if (!m_writeControls)
        m_writeControls = new WriteControls(&m_window);
    m_writeControls->setReadOnly(on);
    m_readOnlyMark->setVisible(on);
    m_window.setWindowTitle(on ? m_title + QStringLiteral(" — ") + bus::kReadOnlyMark : m_title);
    QSignalBlocker quiet(m_menu.readOnlyAction());
    m_menu.readOnlyAction()->setChecked(on);
}

bool LineModes::refuseWrite() {
    if (!m_link.readOnly())
        return false;
    m_say(bus::kReadOnlyRefusal);
    return true;
}

void LineModes::sayWritesRefused() {
    if (m_link.writesRefused() == m_refusalsSaid)
        return;
    m_refusalsSaid = m_link.writesRefused();
    m_say(bus::kReadOnlyRefusal);
}

void LineModes::stopRecording() {
    if (m_recording->recording())
        recordToggled(false);
}

void LineModes::recordToggled(bool on) {
    QSignalBlocker quiet(m_menu.recordAction());
    if (!on) {
        m_menu.recordAction()->setChecked(false);
        const QString why = m_recording->stop();
        m_say(why.isEmpty() ? QStringLiteral("ЗАПИСЬ ОБМЕНА СОХРАНЕНА В ") +
                                  QDir::toNativeSeparators(m_recording->path())
                            : QStringLiteral("ЗАПИСЬ ОБМЕНА НЕ СОХРАНЕНА: ") + why);
        return;
    }
    QString path = m_chooseRecordFile ? m_chooseRecordFile() : QString();
    if (path.isEmpty()) {
        m_menu.recordAction()->setChecked(false);
        return;
    }
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".rec");
    const QString why = m_recording->start(path, m_link.portName());
    m_menu.recordAction()->setChecked(why.isEmpty());
    m_say(why.isEmpty() ? QStringLiteral("ЗАПИСЬ ОБМЕНА: ") + QDir::toNativeSeparators(path)
                        : QStringLiteral("ЗАПИСЬ ОБМЕНА НЕ НАЧАТА: ") + why);
}
