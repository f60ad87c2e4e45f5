#pragma once

#include <QStackedWidget>

class DiagramPage;
class PageHost;
class PortLabel;
class QTabWidget;
class StatusPages;
namespace app {
struct ControllerTypeInfo;
}

// The page of each mode, built from the mode table, one above the other;
// the update and status pages of the controller with their two processor
// tabs.
class PageStack final : public QStackedWidget {
    Q_OBJECT
  public:
    // The slave-port labels go on the keyboard/display processor's tabs.
    PageStack(PageHost& host, StatusPages& status, PortLabel* updatePort, PortLabel* statusPort,
              bool segmentTest, QWidget* parent);

    void showMode(int tag);
    // Whether the page of tag shows its keyboard/display processor's tab.
    bool slaveTabActive(int tag) const;
    // The processor tabs where the type has that processor.
    void applyType(const app::ControllerTypeInfo& type);
    // "Файл → Открыть диаграмму…".
    void openDiagramFile();

  signals:
    // The processor tab of the page shown changed.
    void processorTabChanged(bool slave);

  private:
    DiagramPage* m_diagram = nullptr;
    QTabWidget* m_updateTabs = nullptr;
    QTabWidget* m_statusTabs = nullptr;
};
