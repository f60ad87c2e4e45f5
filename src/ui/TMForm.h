#pragma once

#include "app/TransitState.h"
#include "ui/DeviceActions.h"
#include "ui/PageRegistry.h"
#include "ui/PortLifecycle.h"
#include "ui/StartOptions.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class AddressPanels;
class LayoutActions;
class HelpViewer;
class LineModes;
class ModePanel;
class PageStack;
class PortControls;
class QTimer;
class QToolButton;
class StatusLine;
class StatusPages;
class TAboutBox;
class TCVForm;
class TIForm;
class TopPanel;
class TPForm;
class TrafficView;

class SitesDialog;

// The main window: owns the working state, the one link, the dialogs.

class TMForm final : public QMainWindow, public PageRegistry {
    Q_OBJECT
  public:
    // Configuration parts to load.
    enum LoadBits { LoadPorts = 1, LoadLayout = 2 };

    // simulation opens the in-process simulated installation, when given.
    TMForm(const StartOptions& options, app::ConfigFile config, bus::PortOpener simulation = {});
    ~TMForm() override;

    // The rest of start-up: the configuration is loaded and the port of the
    // current role opened.
    void Start();

    app::WorkingState& state() override { return m_state; }
    bus::SerialLink& link() override { return m_link; }
    const app::ConfigFile& config() const override { return m_config; }
    QString statusText() const;
    int pollPeriodMs() const;
    TPForm* progressDialog() const override { return m_progress; }
    // Replaces the port error box (tests have no one to close it).
    void setErrorBox(std::function<void(const QString& caption, const QString& text)> box);
    // Where "Записывать обмен…" asks for its file (a dialog; tests give one).
    void setRecordFileChooser(std::function<QString()> choose);
    // Read-only: the link refuses every write, the write controls are
    // disabled, the title and the status bar say so.
    void SetReadOnly(bool on);

    void LoadConfiguration(int bits);
    LayoutActions& layoutActions() { return *m_layout; }
    void LayoutEdited() override;
    void ChoosePort(const QString& name);
    void TogglePort();
    void SetMess(const QString& text) override;
    void ShowHelp();

    // Navigation.
    void ModeClicked(int tag) override;
    void SensorButtonClicked(int button);
    void ControllerButtonClicked(int index);
    void StepPager(int delta);
    bool SelectSensorByNumber(int address) override;
    void SetSensorAddressClicked();
    void jumpTo(int tag, PageRequest request) override;

    void registerGetAction(int tag, std::function<bool()> action) override {
        m_actions.registerGet(tag, std::move(action));
    }
    void btGetClick(int tag) override { m_actions.get(tag); }
    void registerSetAction(int tag, std::function<bool()> action) override {
        m_actions.registerSet(tag, std::move(action));
    }
    void btSetClick(int tag) override;
    void runAction(const std::function<bool()>& action) override { m_actions.run(action, true); }
    void runTimedAction(const std::function<bool()>& action) override {
        m_actions.run(action, false);
    }
    bool deviceBusy() const override { return m_ports.busy(); }
    QTimer* pollTimer() const override { return m_tmr; }
    QTimer* secondTimer() const override { return m_tmr2; }
    bool writeNeedsTransit() const override { return m_transit.writeNeedsTransit(); }
    void showTransit(bool on) override { m_transit.show(on); }
    const sensor::StatusDecoder& decoder() const override { return m_decoder; }
    QWidget* dialogParent() override { return this; }
    void addToolButton(QToolButton* button) override;
    QAction* sharedAction(const QString& name, const QString& text,
                          const QString& shortcut) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void reportSavedFiles();
    void buildWindow();
    void buildTopPanel();
    void buildMenus();
    void portLost();
    void applyTypeLayout();
    void refreshAddressBars();
    void leavePage(int oldTag, int newTag);
    void enterPage(int tag);
    void selectController(int index);
    void transitToggled(bool down);

    StartOptions m_options;
    SitesDialog* m_sites = nullptr;
    void chooseSite();
    app::WorkingState m_state;
    bus::SerialLink m_link;
    app::ConfigFile m_config;
    bool m_simulated = false;
    PortLifecycle m_ports;
    app::TransitState m_transit;
    DeviceActions m_actions;
    sensor::StatusDecoder m_decoder;

    PortControls* m_portControls = nullptr;
    TopPanel* m_top = nullptr;
    QToolButton* m_trans = nullptr;
    StatusLine* m_mess = nullptr;
    AddressPanels* m_addressPanels = nullptr;
    PageStack* m_pages = nullptr;
    ModePanel* m_modes = nullptr;
    StatusPages* m_statusPages = nullptr;
    QTimer* m_tmr = nullptr;
    QTimer* m_tmr2 = nullptr;
    TPForm* m_progress = nullptr;
    TIForm* m_intervalForm = nullptr;
    TCVForm* m_cvForm = nullptr;
    TAboutBox* m_about = nullptr;
    TrafficView* m_traffic = nullptr;
    HelpViewer* m_help = nullptr;
    LineModes* m_lineModes = nullptr;
    std::unique_ptr<LayoutActions> m_layout;
};
