#pragma once

#include <QDialog>

#include <optional>

class QLineEdit;

// Asks for a sensor number (address + 1).
class TSAForm final : public QDialog {
    Q_OBJECT
  public:
    explicit TSAForm(QWidget* parent = nullptr);

    // Shows the dialog with sensorAddress + 1; the number entered minus 1,
    // or nothing when cancelled.
    std::optional<int> askSensorAddress(int sensorAddress);
    void prepare(int sensorAddress);
    // The number typed, when it is an integer of 0 or more.
    std::optional<int> enteredNumber() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLineEdit* m_address;
};
