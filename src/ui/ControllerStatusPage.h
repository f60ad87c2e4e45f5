#pragma once

#include "controller/ControllerStatus.h"

#include <QObject>

#include <map>
#include <vector>

class QComboBox;
class QLabel;
class QWidget;
class PageHost;

// The controller's "СОСТОЯНИЕ" page: the status words of its main and its
// keyboard/display processor as rows of lamps, and the read of a
// thermometer identifier the controller knows.
class ControllerStatusPage final : public QObject {
    Q_OBJECT
  public:
    ControllerStatusPage(PageHost& form, QWidget* page);

    // The bodies of the two processor tabs.
    QWidget* mainBody() const { return m_mainBody; }
    QWidget* keyboardBody() const { return m_keyboardBody; }

    void stKipStatClick();
    void stSKipStatClick();
    void stTID_TClick();
    // Lit lamps of a row widget, left to right (for tests and the CLI alike).
    std::vector<bool> lamps(const QString& row) const;

  private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    QWidget* buildMain(QWidget* parent);
    QWidget* buildKeyboard(QWidget* parent);
    QWidget* lampRows(controller::Processor p, QWidget* parent);
    void showLamps(controller::Processor p, const QByteArray& reply);

    PageHost& m_form;
    QWidget* m_mainBody = nullptr;
    QWidget* m_keyboardBody = nullptr;
    QWidget* m_mainPanel = nullptr;
    QWidget* m_keyboardPanel = nullptr;
    QLabel* m_mainDump = nullptr;
    QLabel* m_keyboardDump = nullptr;
    QLabel* m_sensors = nullptr;
    QLabel* m_mode = nullptr;
    QLabel* m_thermometerId = nullptr;
    QComboBox* m_thermometer = nullptr;
    std::map<QString, std::vector<QLabel*>> m_lamps;
};
