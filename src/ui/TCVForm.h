#pragma once

#include "app/ControllerTypes.h"

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QToolButton;
class QTreeWidget;
class QWidget;
class LayoutActions;
class PageHost;

// "Конфигурация системы": what the installation is built from (the
// controller type) and the layout of controllers and sensor ranges that
// every page works on. It changes the window's working state; the layout
// reaches the configuration file only through "СОХРАНИТЬ".
class TCVForm final : public QDialog {
    Q_OBJECT
  public:
    // The buttons' tags: the layout operation each one runs.
    enum ButtonTag { GetTag = 0, SaveTag = 1, LoadTag = 2, DefaultTag = 3 };

    TCVForm(PageHost& host, LayoutActions& layout);

    void ShowForm();
    void cbKipBClick(int type);
    void btDefCfgClick(int tag);
    void sbGetClick(bool down);
    void CloseForm();

    // "ЗАКРЫТЬ", Escape and the window's close button alike.
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void showPanels();
    void fillList();
    void fitHeight();

    PageHost& m_form;
    LayoutActions& m_layout;
    std::array<QRadioButton*, app::kControllerTypes> m_types{};
    QWidget* m_range = nullptr;
    QLineEdit* m_first = nullptr;
    QLineEdit* m_last = nullptr;
    QWidget* m_grid = nullptr;
    QStackedWidget* m_lists = nullptr;
    QTreeWidget* m_list = nullptr;
    QTreeWidget* m_listS7 = nullptr;
    QLabel* m_noKip = nullptr;
    QToolButton* m_get = nullptr;
    QPushButton* m_default = nullptr;
    bool m_closing = false;
};
