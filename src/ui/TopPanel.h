#pragma once

#include <QFrame>

class PortLabel;
class QHBoxLayout;
class QLabel;
class QMenu;
class QToolButton;

// The window's top row: the port, transit and its reset, the scan, the poll
// interval, the system configuration, the pages' own tool buttons, and the
// controller type in use.
class TopPanel final : public QFrame {
    Q_OBJECT
  public:
    explicit TopPanel(QWidget* parent);

    PortLabel* portLabel() const { return m_port; }
    QToolButton* transitButton() const { return m_trans; }
    QToolButton* searchButton() const { return m_search; }
    void showControllerType(const QString& label);
    // A page's own button, after "Конфигурация".
    void addToolButton(QToolButton* button);
    // Every button of the row in the "Линия" menu, for the keyboard.
    void addToLineMenu(QMenu* line) const;

  signals:
    void transitToggled(bool down);
    void transitReset();
    void scanClicked();
    void intervalClicked();
    void configurationClicked();

  private:
    PortLabel* m_port = nullptr;
    QToolButton* m_trans = nullptr;
    QToolButton* m_search = nullptr;
    QLabel* m_kipLabel = nullptr;
    QHBoxLayout* m_row = nullptr;
    int m_toolAt = 0; // where the next page tool button goes
};
