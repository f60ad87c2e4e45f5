#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QWidget;
class SensorPropertiesPage;
class TDBase;
class PageHost;

// The sensor databases in the window: the button "Базы данных" with its
// menu, the factory database (found at start-up, changed by the engineer),
// the panel that fills the thermometers from a nameplate number, the check
// of a thermometer search against the factory records, and the user files
// that keep a sensor's whole property set.
class SensorDatabases final : public QObject {
    Q_OBJECT
  public:
    // What asks the engineer, replaceable where nobody can answer.
    struct Dialogs {
        std::function<QString()> chooseFactory;
        std::function<QString()> chooseLoad;
        std::function<QString()> chooseSave;
        std::function<std::optional<int>(int sensorAddress)> askAddress; // 0-based
        std::function<bool()> confirmOverwrite;
        std::function<void()> locked;
        std::function<void(const QString&)> warning;
        std::function<bool(TDBase&)> confirmFactory;
    };

    // panelArea: the properties page, which holds the number panel.
    SensorDatabases(PageHost& form, SensorPropertiesPage& page, QWidget* panelArea);

    Dialogs dialogs;

    QString factoryBase() const { return m_factory; }
    void FindFactoryBase(const QString& folder);
    void DBFileClick();
    // "ИЗ ФАЙЛА": the number panel.
    void showNumberPanel();
    void btSelNumClick();
    // The factory number of the page's thermometers, -1 when none; with
    // confirm the record's thermometers are offered to the page.
    int FactoryLookup(bool confirm);
    // "Загрузить": the page reset, the file chosen, the record loaded.
    void loadUserFile();
    void ExtDBFOpened(const QString& path);
    void SaveUserDBF();

  private:
    void setFactory(const QString& path);
    QWidget* buildNumberPanel(QWidget* parent);

    PageHost& m_form;
    SensorPropertiesPage& m_page;
    QString m_factory;
    QAction* m_current = nullptr;
    QMenu* m_userMenu = nullptr;
    QWidget* m_panel = nullptr;
    QLabel* m_file = nullptr;
    QLineEdit* m_number = nullptr;
    TDBase* m_confirm = nullptr;
};
