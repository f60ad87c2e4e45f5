#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;

// "БАЗА ДАННЫХ": asks whether the thermometers found in the factory
// database replace those on the page. The lists read from the highest
// thermometer at the top down to the lowest.
class TDBase final : public QDialog {
    Q_OBJECT
  public:
    explicit TDBase(QWidget* parent = nullptr);

    // Each pair goes in at the top, in the order given.
    void fill(const QStringList& ids, const QStringList& heights);
    QStringList identifierLines() const;
    QStringList heightLines() const;

  private:
    QListWidget* m_heights;
    QListWidget* m_ids;
};
