#pragma once

#include <QMenu>

class PortLifecycle;

// The port menu of the port labels and "Линия": the local ports, the remote
// lines that opened before, and any other port by its path or address.
class PortMenu final : public QMenu {
    Q_OBJECT
  public:
    PortMenu(const PortLifecycle& ports, QWidget* parent);
    // Filled afresh (ports come and go) and shown at.
    void popupAt(const QPoint& at);

  signals:
    void chosen(const QString& name);

  private:
    void fill();

    const PortLifecycle& m_ports;
};
