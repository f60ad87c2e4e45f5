#pragma once

#include <QDialog>

// Program version and build date.
class TAboutBox final : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* parent = nullptr);
    // "2.37" and the build date, as the caption shows them.
    static QString versionText();
};
