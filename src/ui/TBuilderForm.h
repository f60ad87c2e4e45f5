#pragma once

#include "app/ConfigFile.h"
#include "db/SectionBuilder.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QToolButton;

// "Сборка секций": a sensor stacked from sections of the section database,
// handed to the thermometer tab with its length.
class TBuilderForm final : public QDialog {
    Q_OBJECT
  public:
    TBuilderForm(app::ConfigFile config, QWidget* parent = nullptr);

    // Where the result goes: the grid rows and the sensor length.
    std::function<void(const QList<QStringList>& rows, const QString& length)> apply;
    // The database dialog, replaceable where nobody can answer it.
    std::function<QString()> chooseDatabase;

    const db::SectionBuilder& builder() const { return m_builder; }
    QString status() const;
    void sbSrcFNameClick();
    void btAddClick();
    void sbUnderFuelClick(bool down);
    // A click on a grid cell, as the mouse gives it.
    void cellClicked(int row, int column);
    void btDelClick();
    void moveBlock(bool up);
    void btClearClick();
    void btUseClick();

  private:
    void refresh();
    void setStatus(const QString& text);

    app::ConfigFile m_config;
    db::SectionBuilder m_builder;
    QString m_database;
    QTableWidget* m_grid = nullptr;
    QLabel* m_source = nullptr;
    QLineEdit* m_number = nullptr;
    QPushButton* m_add = nullptr;
    QToolButton* m_bottom = nullptr;
    QPushButton *m_delete = nullptr, *m_up = nullptr, *m_down = nullptr, *m_use = nullptr;
    QLabel *m_length = nullptr, *m_tube = nullptr, *m_warning = nullptr, *m_status = nullptr;
};
