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
    int exec() override;

  private:
    std::function<QString()> m_configPath;
    class QLabel* m_config = nullptr;
};
