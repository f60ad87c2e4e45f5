#include "ui/WriteControls.h"

#include <QAbstractButton>
#include <QAction>
#include <QEvent>
#include <QRegularExpression>
#include <QWidget>

namespace {

// By object name. Firmware pages name their buttons with a page suffix, the
// alarm page its switch-off buttons by number: patterns.
const QRegularExpression& writeNames() {
    static const QRegularExpression names(
        QStringLiteral("^("
                       // sensor properties: sensor, sections, segments, code update, places
                       "BitBtn2|BitBtn3|BitBtn4|BitBtn5|BitBtn6|btTermSet"
                       // alarms: thresholds, outputs (set and clear), switch-off
                       "|Button6|btSetRCfg|btClearRCfg|sbAlarmBreak\\d+"
                       // controller configuration
                       "|btSetKCfg"
                       // density meter correction and initialisation
                       "|btSetDAdd|btDIni"
                       // segment codes cleared or computed
                       "|btClrAir|btClrFuel|btClrAll|btACor|btFCor|btCCor"
                       // calibration tables and their allocation table
                       "|btCTProg|btSaveAT|CTDel"
                       // firmware: boot loader, programming, release, emergency flags
                       "|btS?Link\\w*|btS?Prog\\w*|btS?Free\\w*|cbKipAlrLink|sbSnsAlrLink"
                       // sensor address, restore from a snapshot
                       "|sbSetSensAddr|miRestore"
                       ")$"));
    return names;
}

bool enabledOf(QObject* o) {
    if (auto* w = qobject_cast<QWidget*>(o))
        return w->isEnabled();
    if (auto* a = qobject_cast<QAction*>(o))
        return a->isEnabled();
    return true;
}

void setEnabledOf(QObject* o, bool on) {
    if (auto* w = qobject_cast<QWidget*>(o))
        w->setEnabled(on);
    else if (auto* a = qobject_cast<QAction*>(o))
        a->setEnabled(on);
}

QString tipOf(QObject* o) {
    if (auto* w = qobject_cast<QWidget*>(o))
        return w->toolTip();
    if (auto* a = qobject_cast<QAction*>(o))
        return a->toolTip();
    return {};
}

void setTipOf(QObject* o, const QString& tip) {
    if (auto* w = qobject_cast<QWidget*>(o))
        w->setToolTip(tip);
    else if (auto* a = qobject_cast<QAction*>(o))
        a->setToolTip(tip);
}

} // namespace

WriteControls::WriteControls(QWidget* window) : QObject(window), m_window(window) {}

bool WriteControls::writes(const QString& objectName) {
    return writeNames().match(objectName).hasMatch();
}

void WriteControls::setReadOnly(bool on) {
    m_readOnly = on;
    if (on) {
        const QList<QObject*> all = m_window->findChildren<QObject*>();
        for (QObject* o : all)
            if ((qobject_cast<QAbstractButton*>(o) || qobject_cast<QAction*>(o)) &&
                writes(o->objectName()))
                hold(o);
        return;
    }
    for (auto& [object, kept] : m_kept)
        release(kept);
    m_kept.clear();
}

void WriteControls::hold(QObject* control) {
    if (m_kept.count(control))
        return;
    Kept k{control, enabledOf(control), tipOf(control)};
    m_kept[control] = k;
    connect(control, &QObject::destroyed, this, [this, control] { m_kept.erase(control); });
    if (auto* a = qobject_cast<QAction*>(control)) {
        // An action has no event of its own when a page enables it.
        connect(a, &QAction::enabledChanged, this, [this, a](bool enabled) {
            if (m_applying || !m_readOnly || !enabled)
                return;
            m_kept[a].enabled = true;
            m_applying = true;
            a->setEnabled(false);
            m_applying = false;
        });
    } else {
        control->installEventFilter(this);
    }
    m_applying = true;
    setEnabledOf(control, false);
    setTipOf(control, kWhy);
    m_applying = false;
}

void WriteControls::release(Kept& k) {
    if (!k.control)
        return;
    k.control->removeEventFilter(this);
    disconnect(k.control, nullptr, this, nullptr);
    m_applying = true;
    setEnabledOf(k.control, k.enabled);
    setTipOf(k.control, k.tip);
    m_applying = false;
}

bool WriteControls::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::EnabledChange && m_readOnly && !m_applying) {
        auto* w = static_cast<QWidget*>(watched);
        auto it = m_kept.find(watched);
        if (it != m_kept.end() && w->isEnabled()) {
            // The page wants it enabled: remembered for later, kept off now.
            it->second.enabled = true;
            m_applying = true;
            w->setEnabled(false);
            m_applying = false;
        }
    }
    return QObject::eventFilter(watched, event);
}
