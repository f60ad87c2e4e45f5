#pragma once

#include <QString>

#include <cstdint>

#include <functional>

class AddressPanels;
class PageHost;
class PortLifecycle;
class QAbstractButton;
class StatusPages;
class TopPanel;
namespace app {
class ConfigFile;
}
namespace sites {
struct Site;
}

// The installation's layout as the window changes it: a scan for the
// controllers, the layout saved to the configuration or read from it again,
// another controller type, another site. After each the window shows the
// type's pages and address bars anew.
class LayoutActions {
  public:
    // What the configuration dialog's buttons run, by their tags.
    enum Operation { Scan = 0, Save = 1, Reload = 2, TypeChanged = 3, AfterViewClosed = 4 };

    // What the window does for them.
    struct Window {
        std::function<void()> showLayout; // the type's pages and the address bars
        // The scan selected another controller than before.
        std::function<void(std::uint8_t previousController)> controllerChanged;
        std::function<void(const QString& port)> choosePort;
        std::function<QString()> statusText;
    };

    LayoutActions(PageHost& host, const app::ConfigFile& config, PortLifecycle& ports,
                  TopPanel& top, AddressPanels& panels, StatusPages& statusPages, Window window);

    // holdButton, when given, is a toggle whose release stops the scan.
    void scan(QAbstractButton* holdButton = nullptr);
    void run(int operation, int newType = -1);
    // The type chosen in the system configuration, its layout kept.
    void setType(int type);
    // As if the engineer had chosen the site's line and loaded its layout;
    // its polls are recorded under its name into log (the log of real
    // lines when empty), and nothing of the line before stays shown.
    void goToSite(const sites::Site& site, const QString& log);

  private:
    PageHost& m_host;
    const app::ConfigFile& m_config;
    PortLifecycle& m_ports;
    TopPanel& m_top;
    AddressPanels& m_panels;
    StatusPages& m_statusPages;
    Window m_window;
};
