#include "ui/PortMenu.h"

#include "ui/PortLifecycle.h"

#include <QInputDialog>
#include <QLineEdit>

#include <algorithm>

PortMenu::PortMenu(const PortLifecycle& ports, QWidget* parent) : QMenu(parent), m_ports(ports) {
    setObjectName(QStringLiteral("pmPort"));
}

void PortMenu::popupAt(const QPoint& at) {
    fill();
    popup(at);
}

void PortMenu::fill() {
    clear();
    const std::vector<PortLifecycle::Choice> choices = m_ports.choices();
    const auto add = [this](const PortLifecycle::Choice& c) {
        const QString text =
            c.detail.isEmpty() ? c.name : c.name + QStringLiteral("  —  ") + c.detail;
        QAction* a = addAction(text, this, [this, name = c.name] { emit chosen(name); });
        a->setData(c.name);
        a->setCheckable(c.current);
        a->setChecked(c.current);
    };
    const auto remote = [](const PortLifecycle::Choice& c) { return c.remote; };
    const auto firstRemote = std::find_if(choices.begin(), choices.end(), remote);
    std::for_each(choices.begin(), firstRemote, add);
    if (firstRemote == choices.begin())
        addAction(QStringLiteral("(нет портов)"))->setEnabled(false);
    // Lines on the network that opened before, the latest first.
    if (firstRemote != choices.end())
        addSection(QStringLiteral("Удалённые линии"));
    std::for_each(firstRemote, choices.end(), add);
    addSeparator();
    // A pseudo-terminal, a symlink, any device the list does not show, or a
    // line on the network.
    QAction* other = addAction(QStringLiteral("Другой порт…"), this, [this] {
        bool ok = false;
        const QString path =
            QInputDialog::getText(
                parentWidget(), QStringLiteral("Порт"),
                QStringLiteral("Путь к порту или tcp://узел:порт, rfc2217://узел:порт:"),
                QLineEdit::Normal, QStringLiteral("/dev/"), &ok)
                .trimmed();
        if (ok && !path.isEmpty())
            emit chosen(path);
    });
    other->setObjectName(QStringLiteral("miOtherPort"));
}
