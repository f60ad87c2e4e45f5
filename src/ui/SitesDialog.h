#pragma once

#include "sites/SitesFile.h"

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

// "Объекты": the sites of the sites file with what the poll log knows of
// each (last poll, sensors not in norm, whether the line answered), read
// from the log alone; choosing one sets the window's line and layout.
class SitesDialog final : public QDialog {
    Q_OBJECT
  public:
    SitesDialog(QString sitesPath, QWidget* parent = nullptr);

    // Reads the sites file and the log (a file or postgresql://...) anew.
    void refresh(const QString& logPath);
    QString logPath() const;
    const std::vector<sites::Site>& shownSites() const { return m_sites; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  signals:
    void siteChosen(const sites::Site& site);

  private:
    void choose();

    QString m_sitesPath;
    std::vector<sites::Site> m_sites;
    QLabel* m_file = nullptr;
    QLineEdit* m_log = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_problem = nullptr;
    QPushButton* m_go = nullptr;
};
