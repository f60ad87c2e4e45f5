#pragma once

#include "controller/AlarmService.h"

#include <QObject>

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolButton;
class QWidget;
class PageHost;

// The "СИГНАЛИЗАЦИЯ" page: the alarm settings the controller keeps for the
// selected sensor, the relay outputs (direct-sensor type) or the output
// matrix (type 3), the live alarm state, and the memory test.
class AlarmPage final : public QObject {
    Q_OBJECT
  public:
    enum { Tag = 5 };
    AlarmPage(PageHost& form, QWidget* page);

    // Output buttons of the direct-sensor type: row 0..6 of output 0..1.
    void SBAChange(int output, int row);
    void ChanClear(int output);
    void sbRamTestClick(bool down);
    std::array<std::uint8_t, 2> outputModes() const { return m_modes; }
    bool testRunning() const;

  private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    QWidget* buildConfigTab(QWidget* parent);
    QWidget* buildControlTab(QWidget* parent);
    QWidget* buildRelays(QWidget* parent);
    QWidget* buildMatrix(QWidget* parent);
    void applyType();
    void clearConfig();
    bool read();
    bool write();
    bool readMatrix();
    bool writeMatrix();
    void clearMatrix();
    void showMatrix();
    bool readState();
    void AlarmBreak(int event);
    controller::AlarmTarget target() const;

    PageHost& m_form;
    std::array<QLineEdit*, 5> m_thresholds{}; // fuel max, (95 % is a label), fuel min, water, leak
    QLabel* m_f95 = nullptr;
    QLabel* m_volume = nullptr;
    std::array<QCheckBox*, controller::kEvents> m_enables{};
    bool m_loaded = false; // enables, contacts and modes of this sensor were read
    QWidget* m_relays = nullptr;
    QWidget* m_matrixPanel = nullptr;
    // Direct type: per output the row buttons, OFF, and each button's mode.
    std::array<std::array<QToolButton*, 7>, 2> m_rows{};
    std::array<QToolButton*, 2> m_off{};
    std::array<std::array<std::uint8_t, 7>, 2> m_rowModes{};
    std::array<std::uint8_t, 2> m_modes{controller::kOutputOff, controller::kOutputOff};
    std::array<std::array<QToolButton*, 8>, 2> m_contacts{};
    // Type 3: the matrix and its 96 buttons.
    controller::OutputMatrix m_matrix;
    std::array<std::array<std::array<QToolButton*, 4>, 6>, 4> m_matrixButtons{};
    std::array<QGroupBox*, 4> m_outputs{};
    QLabel* m_oldForm = nullptr;
    // State lamps and switch-off buttons.
    std::array<std::array<QLabel*, 3>, controller::kEvents> m_lamps{};
    std::array<QToolButton*, controller::kEvents> m_break{};
    QToolButton* m_ramTest = nullptr;
    bool m_testRunning = false;
};
