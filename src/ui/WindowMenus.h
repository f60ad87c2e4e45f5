#pragma once

#include <functional>

class LineMenu;
class PageHost;
class QMainWindow;
class QToolButton;
class TopPanel;
class TrafficView;

// What the window's menus ask of the window.
struct WindowMenuActions {
    std::function<void()> openDiagram;
    std::function<void()> trends;
    std::function<void()> help;
    std::function<void()> about;
};

// The window's menu bar: "Файл" (a diagram, the firmware file, the
// snapshot menu, "Выход"), "Линия", "Вид" (the line monitor, the trends),
// "Справка"; F10 goes to it. The line monitor is a dock of the window that
// listens to the link only while it is shown; it comes back with the
// "Линия" menu.
struct WindowMenus {
    TrafficView* traffic = nullptr;
    LineMenu* line = nullptr;
};
WindowMenus buildWindowMenus(QMainWindow& window, PageHost& host, const TopPanel& top,
                             QToolButton* setAddress, const WindowMenuActions& actions);
