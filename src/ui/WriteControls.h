#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <map>

class QWidget;

// The window's controls that change what a device keeps, in one list by
// object name: УСТАНОВИТЬ and ЗАПИСАТЬ of every page, programming, tables,
// alarms, addresses, codes, restore. In read-only each is disabled with a
// tooltip that says why, and kept so while a page enables it by its own
// logic; switched off, each gets back the state its page last gave it.
// The link's refusal stays the guarantee: this only spares the engineer a
// button that cannot work.
class WriteControls final : public QObject {
    Q_OBJECT
  public:
    static inline const QString kWhy =
        QStringLiteral("ТОЛЬКО ЧТЕНИЕ: запись в устройства выключена (меню «Линия»).");

    explicit WriteControls(QWidget* window);
    // Finds the controls anew (pages build theirs once) and applies the mode.
    void setReadOnly(bool on);
    bool readOnly() const { return m_readOnly; }
    // Whether an object of that name writes.
    static bool writes(const QString& objectName);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Kept {
        QPointer<QObject> control;
        bool enabled = true; // as its page last set it
        QString tip;
    };
    void hold(QObject* control);
    void release(Kept& k);

    QWidget* m_window;
    bool m_readOnly = false;
    bool m_applying = false;
    std::map<QObject*, Kept> m_kept;
};
