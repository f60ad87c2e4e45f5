#pragma once

#include "sensor/StatusGrid.h"
#include "sensor/StatusPolls.h"

#include <QObject>

class QCheckBox;
class QPushButton;
class QTableWidget;
class QTimer;
class QToolButton;
class QWidget;
class PageHost;
class PollLogPanel;
class TrendsDialog;

// The three overview pages: general status, extended status, configuration
// overview. Polls run through the window's "ПОЛУЧИТЬ" dispatcher.
class StatusPages final : public QObject {
    Q_OBJECT
  public:
    // Grid Tags, as the cell click reports them.
    enum GridTag { GeneralGrid = 0, ExtendedGrid = 1, ConfigGrid = 2 };

    // simulated: the window runs on the built-in simulation (its poll log
    // is proposed in the user's data folder).
    StatusPages(PageHost& form, QTimer& pollTimer, bool showMirel, bool simulated);

    void buildGeneralPage(QWidget* page);
    void buildExtendedPage(QWidget* page);
    void buildConfigPage(QWidget* page);
    // Every cycle ends, its box unticked (the port went away).
    void stopCycles();
    // The grids emptied and hidden (a new scan).
    void clearGrids();

    // The polls the dispatcher runs; false when the link was lost.
    bool pollGeneral();
    bool pollExtended();
    bool pollConfig();

    void GridMouseDown(int gridTag, int row, int column);
    void DetClick(int gridTag);
    void TmrTimer();
    // The trends of the poll log, in a window of their own.
    void openTrends();
    PollLogPanel* logPanel() const { return m_logPanel; }

  private:
    // A page is left: its cyclic polling ends.
    void leavePage(int tag);
    // Cell clicks and arrow-key moves of table go to GridMouseDown.
    void watchCells(QTableWidget* table, int gridTag);
    QTableWidget* makeGrid(const QString& name, const sensor::StatusGrid& model, QWidget* parent);
    void show(const sensor::StatusGrid& model, QTableWidget* table);
    void showRow(const sensor::StatusGrid& model, QTableWidget* table, int row);
    // The status line after a poll; false when the link was lost.
    bool pollEnded(const sensor::PollResult& r, quint64 heardBefore,
                   const sensor::StatusGrid& grid);
    // Opens the page "УТОЧНИТЬ" leads to from the clicked cell.
    void jumpTo(int gridTag);
    void cbCycleClick(int tag);
    void startCycle(int tag);
    QToolButton* getButton(int tag) const;
    QCheckBox* cycleBox(int tag) const;

    PageHost& m_form;
    QTimer& m_timer;
    bool m_showMirel;
    bool m_simulated;
    sensor::StatusGrid m_general = sensor::generalStatusGrid();
    sensor::StatusGrid m_thermometers = sensor::thermometerGrid();
    sensor::StatusGrid m_densities = sensor::densityGrid();
    sensor::StatusGrid m_config = sensor::configOverviewGrid();

    QTableWidget* m_sgSns = nullptr;
    QTableWidget* m_sgTStat = nullptr;
    QTableWidget* m_sgDStat = nullptr;
    QTableWidget* m_sgCfg = nullptr;
    QToolButton* m_getStat = nullptr;
    QToolButton* m_getLStat = nullptr;
    QCheckBox* m_cycle = nullptr;
    QCheckBox* m_lCycle = nullptr;
    QCheckBox* m_mirel = nullptr;
    QPushButton* m_detStat = nullptr;
    QPushButton* m_detPStat = nullptr;
    QPushButton* m_detSCfg = nullptr;
    PollLogPanel* m_logPanel = nullptr;
    TrendsDialog* m_trends = nullptr;

    int m_clickedGrid = -1;
    int m_clickedColumn = -1;
    int m_clickedRow = -1;
    int m_clickedSensor = -1;
    int m_clickedCode = 0;
};
