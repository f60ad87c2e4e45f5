#pragma once

#include "app/TransitState.h"
#include "ui/DeviceActions.h"
#include "ui/PageHost.h"
#include "ui/PortLifecycle.h"
#include "ui/StartOptions.h"

#include <QMainWindow>

#include <functional>
#include <map>
#include <set>
#include <vector>

class AddressPanels;
class QAbstractButton;
class TCVForm;
class TopPanel;
class ModePanel;
class PortLabel;
class PortMenu;
class QTabWidget;
class QLabel;
class QStackedWidget;
class QTimer;
class SensorPropertiesPage;
class DensityPage;
class DiagramPage;
class StatusPages;
class QToolButton;
class TAboutBox;
class HelpViewer;
class TIForm;
class TPForm;
class TrafficView;

// The main window: owns the working state, the one link, the dialogs.
class SitesDialog;
namespace sites {
struct Site;
}

class TMForm final : public QMainWindow, public PageHost {
    Q_OBJECT
  public:
    // Layout operations offered to the controller configuration view.
    enum LayoutOperation {
        ScanLayout = 0,
        SaveLayoutOp = 1,
        ReloadLayout = 2,
        TypeChanged = 3,
        AfterViewClosed = 4,
    };
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
    void setErrorBox(std::function<void(const QString& caption, const QString& text)> box) {
        m_errorBox = std::move(box);
    }

    void LoadConfiguration(int bits);
    void RunLayoutOperation(int operation, int newType = -1);
    // holdButton, when given, is a toggle whose release stops the scan.
    void ScanForControllers(QAbstractButton* holdButton = nullptr);
    // The type chosen in the system configuration, its layout kept.
    void SetControllerType(int type);
    // The layout was edited by hand: the address bars follow it.
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
    void addClearSensorFields(std::function<void()> clear) override {
        m_clearSensorFields.push_back(std::move(clear));
    }
    void ClearSensorFields();

    void registerGetAction(int tag, std::function<bool()> action) override {
        m_actions.registerGet(tag, std::move(action));
    }
    void btGetClick(int tag) override { m_actions.get(tag); }
    void registerSetAction(int tag, std::function<bool()> action) override {
        m_actions.registerSet(tag, std::move(action));
    }
    void btSetClick(int tag) override { m_actions.set(tag); }
    void runAction(const std::function<bool()>& action) override { m_actions.run(action, true); }
    void runTimedAction(const std::function<bool()>& action) override {
        m_actions.run(action, false);
    }
    void addLeaveAction(int tag, std::function<void()> leave) override {
        m_leaveActions.emplace(tag, std::move(leave));
    }
    void addTypeLayoutAction(std::function<void()> action) override {
        m_typeLayoutActions.push_back(std::move(action));
    }
    void addEnterAction(int tag, std::function<void()> enter) override {
        m_enterActions.emplace(tag, std::move(enter));
    }
    void addRequestHandler(int tag, std::function<void(PageRequest)> handler) override {
        m_requestHandlers.emplace(tag, std::move(handler));
    }
    QTimer* secondTimer() const override { return m_tmr2; }
    bool writeNeedsTransit() const override { return m_transit.writeNeedsTransit(); }
    QWidget* dialogParent() override { return this; }
    void addToolButton(QToolButton* button) override;
    QAction* sharedAction(const QString& name, const QString& text,
                          const QString& shortcut) override;
    void showTransit(bool on) override { m_transit.show(on); }
    bool deviceBusy() const override { return m_ports.busy(); }
    const sensor::StatusDecoder& decoder() const override { return m_decoder; }
    QTimer* pollTimer() const override { return m_tmr; }
    void jumpTo(int tag, PageRequest request) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // Says on the status line which files saved by an earlier run cannot be
    // read now.
    void reportSavedFiles();
    void buildWindow();
    void restoreWindowSettings();
    void saveWindowSettings();
    void buildTopPanel();
    void buildMenus();
    void showPorts();
    void showOpenError(const bus::PortOpenError& e);
    void portLost();
    void applyTypeLayout();
    void refreshAddressBars();
    QWidget* buildPages();
    void leavePage(int oldTag, int newTag);
    void enterPage(int tag);
    void runEnterActions(int tag);
    bool isSlaveTabActive(int tag) const;
    void selectControllerOfSensor();
    void selectController(int index);
    void transitToggled(bool down);
    void chooseInterval();
    void sayServiceLeftOn();

    StartOptions m_options;
    SitesDialog* m_sites = nullptr;
    void chooseSite();
    void goToSite(const sites::Site& site);
    app::WorkingState m_state;
    bus::SerialLink m_link;
    app::ConfigFile m_config;
    bool m_simulated = false;
    PortLifecycle m_ports;
    app::TransitState m_transit;
    // Controllers whose service mode may not have ended in the action running.
    std::set<std::uint8_t> m_serviceLeftOn;
    bus::TransitWatch m_serviceWatch;
    DeviceActions m_actions;
    std::function<void(const QString&, const QString&)> m_errorBox;

    PortLabel* m_port = nullptr;
    PortLabel* m_port22 = nullptr;
    PortLabel* m_port21 = nullptr;
    PortMenu* m_portMenu = nullptr;
    TopPanel* m_top = nullptr;
    QToolButton* m_trans = nullptr;
    QLabel* m_mess = nullptr;
    AddressPanels* m_addressPanels = nullptr;
    QStackedWidget* m_pages = nullptr;
    ModePanel* m_modes = nullptr;
    QTabWidget* m_kipUpdateTabs = nullptr;
    QTabWidget* m_kipStatusTabs = nullptr;
    std::vector<std::function<void()>> m_clearSensorFields;
    std::vector<std::function<void()>> m_typeLayoutActions;
    std::multimap<int, std::function<void()>> m_leaveActions;
    std::multimap<int, std::function<void()>> m_enterActions;
    std::map<int, std::function<void(PageRequest)>> m_requestHandlers;
    sensor::StatusDecoder m_decoder;
    StatusPages* m_statusPages = nullptr;
    SensorPropertiesPage* m_propertiesPage = nullptr;
    DensityPage* m_densityPage = nullptr;
    DiagramPage* m_diagramPage = nullptr;
    QTimer* m_tmr = nullptr;
    QTimer* m_tmr2 = nullptr;
    TPForm* m_progress = nullptr;
    TIForm* m_intervalForm = nullptr;
    TCVForm* m_cvForm = nullptr;
    TAboutBox* m_about = nullptr;
    TrafficView* m_traffic = nullptr;
    HelpViewer* m_help = nullptr;
};
