#pragma once

#include <QLabel>

#include <functional>

// A port label: a click toggles the port, a right click opens the port menu.
class PortLabel final : public QLabel {
    Q_OBJECT
  public:
    explicit PortLabel(const QString& objectName, QWidget* parent = nullptr);
    // Pure green when the port is open or chosen, pure red when not.
    void setPortColour(bool good);
    bool isGreen() const { return m_good; }
    // What the tip says of the port, asked each time it shows.
    void setDetails(std::function<QString()> details) { m_details = std::move(details); }
    QString tipText() const;

  signals:
    void toggleRequested();
    void menuRequested(const QPoint& globalPos);

  protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    bool m_good = false;
    std::function<QString()> m_details;
};
