#pragma once

class QLineEdit;

// Key filters of the numeric fields. They govern typed characters only:
// editing keys (Backspace, Delete, arrows, Home, End, Tab) always work. A
// "," or "." becomes the system's decimal separator. Every filtered field
// selects its whole text when it gets the focus, so typing replaces it.

// Digits; with minus a "-", with decimal a separator (ReKeyPress).
void ReKeyPress(QLineEdit* edit, bool minus = false, bool decimal = false);
// Digits and a separator; Enter moves to the field below (SAddKeyPress).
void SAddKeyPress(QLineEdit* edit, QLineEdit* nextLower);
