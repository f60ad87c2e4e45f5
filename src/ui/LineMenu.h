#pragma once

#include <QMenu>

class QToolButton;
class TopPanel;

// "Линия": everything the top row and the address bars offer, for the
// keyboard.
class LineMenu final : public QMenu {
    Q_OBJECT
  public:
    // setAddress is offered only while it is shown on the window.
    LineMenu(const TopPanel& top, QToolButton* setAddress, QWidget* window);

    // "Только чтение": checked while nothing that changes a device is sent.
    QAction* readOnlyAction() const { return m_readOnly; }
    // "Записывать обмен…": checked while the line is recorded into a file.
    QAction* recordAction() const { return m_record; }

  signals:
    void readOnlyToggled(bool on);
    void recordToggled(bool on);
    void choosePort();
    void chooseSite();
    void togglePort();
    void pagerStepped(int delta);

  private:
    QAction* m_readOnly = nullptr;
    QAction* m_record = nullptr;
};
