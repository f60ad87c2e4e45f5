#pragma once

class QLineEdit;
class QObject;

// Key filters of the numeric fields. They govern typed characters only:
// editing keys (Backspace, Delete, arrows, Home, End, Tab) always work. A
// "," or "." becomes the system's decimal separator. Ctrl combinations
// (select all, copy, paste) pass.

// Digits; with minus a "-", with decimal a separator (ReKeyPress).
void ReKeyPress(QLineEdit* edit, bool minus = false, bool decimal = false);
// Digits, "-" and a separator; Enter moves to the field below (SAddKeyPress).
void SAddKeyPress(QLineEdit* edit, QLineEdit* nextLower);

// Every line edit of the application selects its whole text when entered, so
// typing replaces it; installed once, for as long as owner lives.
void SelectTextOnEntry(QObject* owner);
