#pragma once

#include <QString>

#include <functional>

class QAction;
class QLabel;
class QPushButton;
class QVBoxLayout;
class QWidget;
class PageHost;

// What the controller's and the sensor's update pages share: the file and
// version fields with LINK, FREE and PROG, and the one Ctrl+O action.
struct FirmwareFields {
    QLabel *file = nullptr, *newVersion = nullptr, *newDate = nullptr, *deviceVersion = nullptr,
           *deviceDate = nullptr;
    QPushButton *link = nullptr, *free = nullptr, *prog = nullptr;
};

// The fields and buttons into column; named maps the controller page's
// object names ("stHFile", "btLink", ...) to the page's own.
FirmwareFields buildFirmwareFields(QWidget* body, QVBoxLayout* column,
                                   const std::function<QString(const char*)>& named);

// "AOpenHF" (Ctrl+O): made by the first page that asks, shared by both, so
// that the shortcut is never ambiguous; each page acts on it while shown,
// and elsewhere it is disabled. tag: the asking page's.
QAction* firmwareFileAction(PageHost& host, int tag);
