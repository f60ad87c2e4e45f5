#pragma once

#include "firmware/FirmwareImage.h"
#include "firmware/SensorProgramming.h"
#include "ui/FirmwarePageParts.h"

#include <QObject>

#include <functional>
#include <optional>

class QProgressBar;
class QPushButton;
class QToolButton;
class QWidget;
class PageHost;

// The sensor's "ОБНОВЛЕНИЕ" page: the sensor firmware file, LINK / PROG /
// FREE through the controller in transit, and the emergency update mode for
// a sensor whose firmware no longer answers.
class SensorUpdatePage final : public QObject {
    Q_OBJECT
  public:
    SensorUpdatePage(PageHost& form, QWidget* page);

    void ShowSensorUpdatePage();
    // A file chosen with Ctrl+O (the dialog's work done).
    void HFOpened(const QString& path);
    void btSLinkClick();
    void btSProgClick();
    void btSFreeClick();
    void sbSnsAlrLinkClick(bool down);
    void btCheckSnsAlrClick();
    // The file dialog, replaceable where nobody can answer it.
    std::function<QString()> chooseFile;

  private:
    firmware::SensorRoute selectedRoute() const;
    bool load();
    void startEmergencyProbing();
    void probeTick();
    void stopProbing();
    void linked(const firmware::SensorRoute& route);
    // FREE's work on the sensor linked last; nothing when none is.
    void release();
    void showFlag(bool on);
    void leave();

    PageHost& m_form;
    FirmwareFields m_f;
    QProgressBar* m_ind = nullptr;
    QToolButton* m_emergency = nullptr;
    QPushButton* m_checkFlag = nullptr;
    QWidget* m_help = nullptr;
    firmware::FirmwareImage m_image;
    int m_probes = 0;
    // The sensor LINK reached: PROG and FREE work on it even when another
    // sensor is selected meanwhile.
    std::optional<firmware::SensorRoute> m_linked;
};
