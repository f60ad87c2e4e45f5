#pragma once

class QMainWindow;
class QTimer;
class QWidget;

// The window's place and size, its line monitor and its poll period as the
// last run left them (WindowSettings), put back at start and kept at close.
void restoreWindowPlacement(QMainWindow& window, QWidget& lineMonitor, QTimer& poll);
void saveWindowPlacement(const QMainWindow& window, const QWidget& lineMonitor, const QTimer& poll);
