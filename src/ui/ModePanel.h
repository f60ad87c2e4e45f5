#pragma once

#include <QFrame>

#include <vector>

class QToolButton;

// The left panel of mode buttons; the current mode is shown in bold. The
// buttons carry their mode's Tag.
class ModePanel final : public QFrame {
    Q_OBJECT
  public:
    explicit ModePanel(QWidget* parent = nullptr);

    QToolButton* buttonForTag(int tag) const;
    void setCurrent(int tag);

  signals:
    void modeClicked(int tag);

  private:
    std::vector<QToolButton*> m_buttons;
};
