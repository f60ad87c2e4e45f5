#pragma once

#include <QString>

class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

// The small parts the device pages are made of.

// A mark button: pressed = write this field (hint "Отметить для записи.").
QToolButton* markButton(const QString& name, QWidget* parent);
// A text button of the window's top row and address panels.
QToolButton* toolButton(const QString& name, const QString& text, const QString& hint,
                        bool checkable, QWidget* parent);
QLineEdit* valueField(const QString& name, QWidget* parent, int width = 80);
QPushButton* actionButton(const char* name, const QString& text, int tag, QWidget* parent);
// A field whose text could not be used or whose write failed turns red.
void paintBad(QLineEdit* edit, bool bad);
// Window or info background, or a colour given as "#RRGGBB".
void paintField(QLineEdit* edit, const char* colour);
inline constexpr const char* kInfoColour = "#FFFFE1";
inline constexpr const char* kSelectedColour = "#A6CAF0"; // sky blue
inline constexpr const char* kBadColour = "#FF8080";
