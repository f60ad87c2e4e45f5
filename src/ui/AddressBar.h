#pragma once

#include <QWidget>

#include <vector>

class QButtonGroup;
class QToolButton;

// A row of grouped toggle buttons, one per address; it only draws and
// reports clicks, the selection rules live with the working state.
class AddressBar final : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kPerRow = 16;
    static constexpr int kButtonWidth = 32;

    AddressBar(const QString& objectName, int buttons, QWidget* parent = nullptr);

    int count() const { return static_cast<int>(m_buttons.size()); }
    QToolButton* button(int i) const { return m_buttons[i]; }
    void setButton(int i, const QString& caption, bool enabled, bool pressed);
    void setButtonState(int i, bool enabled, bool pressed);

  signals:
    void clicked(int index);

  private:
    std::vector<QToolButton*> m_buttons;
    QButtonGroup* m_group;
};
