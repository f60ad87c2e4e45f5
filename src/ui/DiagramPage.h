#pragma once

#include "diagram/Diagram.h"
#include "diagram/DiagramRead.h"

#include <QObject>

#include <array>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QToolButton;
class QWidget;
class PageHost;

// The "ДИАГРАММА" page: the selected sensor's segment codes drawn as four
// stacked layers, read once or cyclically, saved to and opened from "dgr"
// files, and the six buttons that clear or compute the reference codes.
class DiagramPage final : public QObject {
    Q_OBJECT
  public:
    DiagramPage(PageHost& form, QWidget* page, bool segmentTest);

    // sbDraw clicked (checked is its state after the click).
    void sbDrawClick(bool checked);
    // "УТОЧНИТЬ" lands here: the button pressed and clicked.
    void pressDraw();
    void cbDCycleClick(bool checked);
    // The cycle ends and its box is unticked: what the page shows is what runs.
    void stopCycle();
    void TmrTimer();
    // The file dialogs, then the work of saveTo and openFrom.
    void SaveDiagramFile();
    void OpenDiagramFile();
    bool saveTo(const QString& path);
    bool openFrom(const QString& path);
    // Shows a diagram read from a file, without a sensor.
    void showDiagram(const diagram::Diagram& d);
    void ClearOrComputeCodes(diagram::CodeAction action);
    // Asks before reference codes are erased; replaceable where nobody can
    // answer (tests). True to go on.
    std::function<bool(const QString& question)> ask;
    const diagram::Diagram& current() const { return m_diagram; }
    // The left edge of the layers (scrolled when the diagram is wide).
    int layerLeft() const;

  private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    QWidget* buildView(QWidget* parent);
    QWidget* buildFields(QWidget* parent);
    QWidget* buildButtons(QWidget* parent);
    bool read();
    void resizeLayers();
    void drawLayer(diagram::CodeKind kind);
    void showFields();
    void clearFields();
    void enableCorrections();
    void forgetSensor();
    void leave();

    PageHost& m_form;
    diagram::Diagram m_diagram;
    int m_drawnSegments = 0;
    QWidget* m_view = nullptr;
    QLabel* m_grid = nullptr;
    std::array<QLabel*, 3> m_layers{}; // sensor, dry, wet (on top)
    QToolButton* m_draw = nullptr;
    QCheckBox* m_cycle = nullptr;
    QCheckBox* m_references = nullptr;
    QPushButton* m_save = nullptr;
    std::array<QPushButton*, 6> m_codeButtons{};
    QLabel* m_error = nullptr;
    QLabel *m_fuelLevel = nullptr, *m_waterLevel = nullptr, *m_fuelSegment = nullptr,
           *m_waterSegment = nullptr, *m_scale = nullptr, *m_noise = nullptr, *m_delta = nullptr;
    QWidget* m_test = nullptr;
    QLabel *m_segments = nullptr, *m_codesRead = nullptr, *m_step = nullptr;
    bool m_wide = false;
    bool m_dragging = false;
    int m_dragStart = 0;
    int m_leftAtStart = 0;
};
