#pragma once

#include "app/AddressBars.h"
#include "app/ControllerScan.h"

#include <QWidget>

class AddressBar;
class QAbstractButton;
class QToolButton;

// The address bars over the page: the controllers ("КИП №"), the sensors
// ("ДАТЧИК №") with their pager, and "УСТАНОВИТЬ" for the type without
// controllers. They draw what the working state says and report clicks;
// during a scan the controller bar shows each controller as it answers.
class AddressPanels final : public QWidget, public app::ScanObserver {
    Q_OBJECT
  public:
    explicit AddressPanels(QWidget* parent);

    void showBars(const app::AddressBarsView& view);
    QToolButton* setAddressButton() const { return m_setSensorAddress; }
    // Before a scan: hold, when given, is a toggle whose release stops it.
    void prepareScan(QAbstractButton* hold) {
        m_scanHold = hold;
        m_scanFoundFirst = false;
    }

  signals:
    void controllerClicked(int index);
    void sensorClicked(int button);
    void pagerStepped(int delta);
    void setAddressClicked();

  private:
    void scanStarted(int n) override;
    void controllerFound(int index) override;
    bool keepScanning() override;

    QWidget* m_kipPanel = nullptr;
    QWidget* m_sensorPanel = nullptr;
    AddressBar* m_kipBar = nullptr;
    AddressBar* m_sensorBar = nullptr;
    QToolButton* m_setSensorAddress = nullptr;
    QAbstractButton* m_scanHold = nullptr;
    bool m_scanFoundFirst = false;
};
