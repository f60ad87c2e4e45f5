#pragma once

#include <QDialog>

#include <functional>

// Program version and build date.
class TAboutBox final : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* parent = nullptr);
    // "2.37" and the build date, as the caption shows them.
    static QString versionText();
    // Shows which configuration file is in use, asked each time the box opens.
    void setConfigPath(std::function<QString()> path) { m_configPath = std::move(path); }
    // The port in use and, for a remote line, its round trip; asked likewise.
    void setPortDetails(std::function<QString()> details) { m_portDetails = std::move(details); }
    int exec() override;

  private:
    std::function<QString()> m_configPath;
    std::function<QString()> m_portDetails;
    class QLabel* m_config = nullptr;
    class QLabel* m_port = nullptr;
};
