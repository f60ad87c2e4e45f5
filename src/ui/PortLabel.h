#pragma once

#include <QLabel>

// A port label: a click toggles the port, a right click opens the port menu.
class PortLabel final : public QLabel {
    Q_OBJECT
  public:
    explicit PortLabel(const QString& objectName, QWidget* parent = nullptr);
    // Pure green when the port is open or chosen, pure red when not.
    void setPortColour(bool good);
    bool isGreen() const { return m_good; }

  signals:
    void toggleRequested();
    void menuRequested(const QPoint& globalPos);

  protected:
    void mousePressEvent(QMouseEvent* event) override;

  private:
    bool m_good = false;
};
