#pragma once

#include "app/ConfigFile.h"
#include "app/ControllerScan.h"
#include "app/WorkingState.h"
#include "link/SerialLink.h"
#include "link/Transit.h"
#include "sensor/StatusDecoder.h"
#include "ui/StartOptions.h"

#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class AddressBar;
class QAbstractButton;
class QHBoxLayout;
class TCVForm;
class ModePanel;
class PortLabel;
class QTabWidget;
class QLabel;
class QMenu;
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
class TMForm final : public QMainWindow, private app::ScanObserver {
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

    app::WorkingState& state() { return m_state; }
    bus::SerialLink& link() { return m_link; }
    const app::ConfigFile& config() const { return m_config; }
    QString statusText() const;
    int pollPeriodMs() const;
    TPForm* progressDialog() const { return m_progress; }
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
    void LayoutEdited();
    void ChoosePort(const QString& name);
    void TogglePort();
    void SetMess(const QString& text);
    void ShowHelp();

    // Navigation.
    void ModeClicked(int tag);
    void SensorButtonClicked(int button);
    void ControllerButtonClicked(int index);
    void StepPager(int delta);
    bool SelectSensorByNumber(int address);
    void SetSensorAddressClicked();
    // Pages that show values of one sensor register here what to empty
    // when the selected sensor or controller changes.
    void addClearSensorFields(std::function<void()> clear) {
        m_clearSensorFields.push_back(std::move(clear));
    }
    void ClearSensorFields();

    // The shared "ПОЛУЧИТЬ" handler: the action registered for the Tag runs
    // inside the common frame (status line cleared, busy cursor, progress
    // closed afterwards). An action returns false when the link failed.
    void registerGetAction(int tag, std::function<bool()> action) {
        m_getActions[tag] = std::move(action);
    }
    void btGetClick(int tag);
    // The shared "УСТАНОВИТЬ" handler, the same frame for writes; a write
    // action puts its own result on the status line.
    void registerSetAction(int tag, std::function<bool()> action) {
        m_setActions[tag] = std::move(action);
    }
    void btSetClick(int tag);
    // Any other device action of a page in the same frame (status line
    // cleared, busy cursor, errors caught); refused while another runs.
    void runAction(const std::function<bool()>& action);
    // The same frame for what a timer runs: the status line stays as the
    // engineer's last action left it.
    void runTimedAction(const std::function<bool()>& action);
    // What a page does when it is left (a cycle it runs stops).
    void addLeaveAction(int tag, std::function<void()> leave) {
        m_leaveActions.emplace(tag, std::move(leave));
    }
    // What a page changes when the controller type changes.
    void addTypeLayoutAction(std::function<void()> action) {
        m_typeLayoutActions.push_back(std::move(action));
    }
    // What a page does each time it is entered, and entered again because
    // its controller (or in type 2 its sensor) changed.
    void addEnterAction(int tag, std::function<void()> enter) {
        m_enterActions.emplace(tag, std::move(enter));
    }
    // The shared timer Tmr2: each user sets handler and interval first.
    QTimer* secondTimer() const { return m_tmr2; }
    // Transit a sensor operation switches on and off itself: not while the
    // user holds it on, and not without a controller.
    bool writeNeedsTransit() const;
    // A tool button of a page's own in the top row, after "Конфигурация".
    void addToolButton(QToolButton* button);
    // "ТРАНЗИТ" pressed or released by a page that switched transit itself.
    void showTransit(bool on);
    bus::TransitScope sensorTransit(int enterTries = 1) {
        return bus::TransitScope(m_link, m_state.selectedControllerAddress, writeNeedsTransit(),
                                 enterTries);
    }
    // A device operation is running; a second one is refused.
    bool deviceBusy() const { return m_link.busy() || m_working; }
    const sensor::StatusDecoder& decoder() const { return m_decoder; }
    QTimer* pollTimer() const { return m_tmr; }
    SensorPropertiesPage* propertiesPage() const { return m_propertiesPage; }
    DensityPage* densityPage() const { return m_densityPage; }
    DiagramPage* diagramPage() const { return m_diagramPage; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildWindow();
    void restoreWindowSettings();
    void saveWindowSettings();
    QWidget* buildTopPanel();
    QWidget* buildAddressPanels();
    void buildMenus();
    void buildLineMenu();
    void loadPorts(const app::ConfigEntries& entries);
    bool openPortWithBox(const QString& name);
    PortLabel* roleLabel() const;
    void colourRoleLabel();
    void fillPortMenu();
    void applyTypeLayout();
    void refreshAddressBars();
    QWidget* buildPages();
    void leavePage(int oldTag, int newTag);
    void enterPage(int tag);
    void runEnterActions(int tag);
    bool isSlaveTabActive(int tag) const;
    void applyPortRole(int role);
    void selectControllerOfSensor();
    void selectController(int index);
    void transitToggled(bool down);
    // Up to three tries; true when one was answered.
    bool switchTransit(bool enter, int tries);
    void transitLeftOn(std::uint8_t controller);
    void resetTransit();
    void chooseInterval();
    void runDeviceAction(const std::function<bool()>& action);

    // Scan observer.
    void scanStarted(int n) override;
    void controllerFound(int index) override;
    bool keepScanning() override;

    // Marks a device operation; the outermost one notices a port that went
    // away during it (an unplugged adapter) and says so.
    class DeviceWork {
      public:
        explicit DeviceWork(TMForm& form);
        ~DeviceWork();
        DeviceWork(const DeviceWork&) = delete;
        DeviceWork& operator=(const DeviceWork&) = delete;

      private:
        TMForm& m_form;
        bool m_outer;
        bool m_wasOpen;
    };
    void portLost();
    // Notices a port that went away while idle, and opens it again by
    // itself once the same device is back.
    void watchPort();

    StartOptions m_options;
    app::WorkingState m_state;
    bus::SerialLink m_link;
    bus::TransitWatch m_transitWatch{m_link, [this](std::uint8_t c) { transitLeftOn(c); }};
    app::ConfigFile m_config;
    bool m_simulated = false;
    bool m_working = false;
    bool m_scanFoundFirst = false;
    std::function<void(const QString&, const QString&)> m_errorBox;

    PortLabel* m_port = nullptr;
    PortLabel* m_port22 = nullptr;
    PortLabel* m_port21 = nullptr;
    QMenu* m_portMenu = nullptr;
    QToolButton* m_trans = nullptr;
    QToolButton* m_norm = nullptr;
    QToolButton* m_search = nullptr;
    QToolButton* m_interval = nullptr;
    QHBoxLayout* m_toolRow = nullptr;
    int m_toolAt = 0; // where the next page tool button goes
    QLabel* m_kipLabel = nullptr;
    QLabel* m_mess = nullptr;
    QWidget* m_kipPanel = nullptr;
    QWidget* m_sensorPanel = nullptr;
    AddressBar* m_kipBar = nullptr;
    AddressBar* m_sensorBar = nullptr;
    QStackedWidget* m_pages = nullptr;
    ModePanel* m_modes = nullptr;
    QTabWidget* m_kipUpdateTabs = nullptr;
    QTabWidget* m_kipStatusTabs = nullptr;
    QToolButton* m_setSensorAddress = nullptr;
    QWidget* m_pager = nullptr;
    std::vector<std::function<void()>> m_clearSensorFields;
    std::vector<std::function<void()>> m_typeLayoutActions;
    std::map<int, std::function<bool()>> m_getActions;
    std::map<int, std::function<bool()>> m_setActions;
    std::multimap<int, std::function<void()>> m_leaveActions;
    std::multimap<int, std::function<void()>> m_enterActions;
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
    QAbstractButton* m_scanHold = nullptr;
    TAboutBox* m_about = nullptr;
    TrafficView* m_traffic = nullptr;
    HelpViewer* m_help = nullptr;
    QTimer* m_portWatch = nullptr;
    QString m_reopenPath; // a port that went away, to be opened when back
    bool m_portWasOpen = false;
};
