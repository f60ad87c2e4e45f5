#include "ui/PortControls.h"

#include "app/WorkingState.h"
#include "ui/PortLabel.h"
#include "ui/PortLifecycle.h"
#include "ui/PortMenu.h"

#include <QMessageBox>

PortControls::PortControls(PortLifecycle& ports, const app::WorkingState& state, PortLabel* main,
                           QWidget* window, std::function<void(const QString&)> say)
    : QObject(window), m_ports(ports), m_state(state), m_say(std::move(say)), m_main(main),
      m_update(new PortLabel(QStringLiteral("Port22"), window)),
      m_status(new PortLabel(QStringLiteral("Port21"), window)),
      m_menu(new PortMenu(ports, window)) {
    errorBox = [](const QString& caption, const QString& text) {
        QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    };
    connect(m_menu, &PortMenu::chosen, this, &PortControls::choose);
    for (PortLabel* l : {m_main, m_update, m_status}) {
        connect(l, &PortLabel::toggleRequested, this, &PortControls::toggle);
        connect(l, &PortLabel::menuRequested, m_menu, &PortMenu::popupAt);
        l->setDetails([this] { return m_ports.details(); });
    }
    connect(&m_ports, &PortLifecycle::labelsChanged, this, &PortControls::show);
    connect(&m_ports, &PortLifecycle::openFailed, this, &PortControls::openFailed);
    // A choice that could not be kept in the configuration says so.
    connect(&m_ports, &PortLifecycle::chosenOpened, this,
            [this] { m_say(m_ports.notSavedText()); });
    connect(&m_ports, &PortLifecycle::toggleFinished, this, &PortControls::sayToggled);
    show();
}

void PortControls::show() {
    const PortLifecycle::Label& main = m_ports.label(app::MainRole);
    const PortLifecycle::Label& slave = m_ports.label(app::SlaveRole);
    m_main->setText(main.caption);
    m_main->setPortColour(main.green);
    m_main->setEnabled(m_state.portRole == app::MainRole);
    for (PortLabel* l : {m_update, m_status}) {
        l->setText(slave.caption);
        l->setPortColour(slave.green);
    }
}

void PortControls::openFailed(const bus::PortOpenError& e) {
    if (e.busy)
        m_say(QStringLiteral("ПОРТ ЗАНЯТ"));
    if (e.code != 0 || !e.message.isEmpty() || !e.explanation.isEmpty())
        errorBox(e.caption(), e.text());
}

void PortControls::choose(const QString& name) {
    m_ports.choose(name);
}

void PortControls::toggle() {
    sayToggled(m_ports.toggle());
}

void PortControls::sayToggled(PortLifecycle::Toggle done) {
    using Toggle = PortLifecycle::Toggle;
    // A connect under way is told when it ends.
    if (done != Toggle::Refused && done != Toggle::Connecting)
        m_say(done == Toggle::Closed   ? QStringLiteral("ПОРТ ОТКЛЮЧЕН")
              : done == Toggle::Opened ? QStringLiteral("ПОРТ ВКЛЮЧЕН")
                                       : QStringLiteral("ПОРТ ЗАНЯТ"));
}

void PortControls::popupMenu() {
    PortLabel* label = m_state.portRole == app::SlaveRole ? m_update : m_main;
    m_menu->popupAt(label->mapToGlobal(QPoint(0, label->height())));
}
