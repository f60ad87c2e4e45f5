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

  signals:
    void choosePort();
    void chooseSite();
    void togglePort();
    void pagerStepped(int delta);
};
