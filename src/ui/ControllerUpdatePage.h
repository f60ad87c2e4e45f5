#pragma once

#include "firmware/FirmwareImage.h"
#include "ui/FirmwarePageParts.h"

#include <QObject>

#include <array>
#include <functional>

class QAction;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QWidget;
class PageHost;

// The controller's "ОБНОВЛЕНИЕ" page: firmware for the main processor and
// for the keyboard/display processor, each with its file, the version it
// brings, the version the device runs, and LINK, PROG and FREE.
class ControllerUpdatePage final : public QObject {
    Q_OBJECT
  public:
    enum Cpu { MainCpu = 0, KeyboardCpu = 1 };
    ControllerUpdatePage(PageHost& form, QWidget* page);

    QWidget* body(Cpu cpu) const { return m_cpu[cpu].body; }
    // The tabs are made by the window; the page needs to know which shows.
    void setTabs(QTabWidget* tabs);

    void UpDateShow();
    // A file chosen with Ctrl+O (the dialog's work done).
    void HFOpened(const QString& path);
    void btLinkClick();
    void btFreeClick();
    void btProgClick();
    // The file dialog, replaceable where nobody can answer it.
    std::function<QString()> chooseFile;
    // PROG with the other processor's image: true to program it anyway.
    std::function<bool(const QString& warning)> confirmOtherImage;

  private:
    struct CpuPage : FirmwareFields {
        QWidget* body = nullptr;
    };
    QWidget* buildCpu(Cpu cpu, QWidget* parent);
    Cpu current() const;
    bool load(Cpu cpu);
    std::uint8_t bootLoader() const;

    PageHost& m_form;
    std::array<CpuPage, 2> m_cpu;
    QTabWidget* m_tabs = nullptr;
    QProgressBar* m_ind = nullptr;
    QCheckBox* m_emergency = nullptr;
    QAction* m_open = nullptr;
    // The controller image in force: the file of the page loaded last, and
    // that page (-1 for none).
    firmware::FirmwareImage m_image;
    int m_imageCpu = -1;
};
