#pragma once

#include "density/DensityService.h"

#include <QObject>
#include <QWidget>

#include <array>
#include <map>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QToolButton;
class PageHost;

// The position panel pDPos: a lamp per meter found, the fuel and water
// marks reaching the meters under them.
class MeterPositionPanel final : public QWidget {
    Q_OBJECT
  public:
    explicit MeterPositionPanel(QWidget* parent = nullptr);
    void setPositions(const density::Positions& positions);
    const density::Positions& positions() const { return m_positions; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int lampY(int meter) const;
    density::Positions m_positions;
};

// The density meter page: finds the meters of the selected sensor and
// services the one selected.
class DensityPage final : public QObject {
    Q_OBJECT
  public:
    DensityPage(PageHost& form, QWidget* page);

    void select(int meter); // 1..8
    void GetDensNum();
    void btDAllClick();
    void pCnvClick(bool on);
    void SecondTimer();
    bool cycleRunning() const;

  private:
    QWidget* buildMeterPanels(QWidget* parent);
    QWidget* buildValues(QWidget* parent);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void clearValues();
    void clearSensorFields();
    void show(QLabel* field, const density::Field& value);
    void showInitialise(bool shown);
    void setStatus(int index, const QString& text, bool uninitialised);
    void readOne(QLabel* field, const std::function<density::Field()>& read);
    bool readAll();
    bool readCorrection();
    bool writeCorrection();
    bool initialise();
    // quiet: started by a timer or by the page itself, the status line left
    // as the engineer's last action put it.
    void startCycle(bool quiet);
    void startConversion(bool quiet);
    int meter() const;

    PageHost& m_form;
    std::array<QWidget*, density::kMeters> m_panels{};
    std::array<QLabel*, density::kMeters> m_ids{};
    std::array<QLabel*, density::kMeters> m_statuses{};
    // Whether the status shown says the meter is not initialised: the
    // initialise button follows it when the meter is chosen.
    std::array<bool, density::kMeters> m_uninitialised{};
    MeterPositionPanel* m_positions = nullptr;
    std::map<QString, QLabel*> m_fields;
    QLineEdit* m_correction = nullptr;
    QPlainTextEdit* m_memo = nullptr;
    QPushButton* m_all = nullptr;
    QPushButton* m_initialise = nullptr;
    QToolButton* m_convert = nullptr;
    QProgressBar* m_progress = nullptr;
    bool m_reading = false;
    int m_shown = 0; // the meter whose panel is open
};
