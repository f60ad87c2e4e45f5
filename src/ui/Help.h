#pragma once

#include <QString>

#include <QDialog>

class QTextBrowser;

// The help folder: "help" beside the program, or share/orvant2/help of an
// installation.
QString helpFolder(const QString& programFolder);

// Help pages beside the program, in its folder "help": one HTML page per
// page name, and index.html. Returns the file to show, or empty when the
// help is not installed.
QString helpFileFor(const QString& programFolder, const QString& pageName);

// The help pages in a window of the program's own, links and pictures
// working, so that help never depends on a desktop browser.
class HelpViewer final : public QDialog {
    Q_OBJECT
  public:
    explicit HelpViewer(QWidget* parent = nullptr);
    // Shows the page; without one, says that the help is not installed.
    void showPage(const QString& file);
    QTextBrowser* browser() const { return m_browser; }
    // The width the widest picture of the page is shown at.
    int widestPicture() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The pictures (screenshots of the whole window) at most as wide as the
    // page, so that it never scrolls sideways.
    void fitPictures();

    QTextBrowser* m_browser;
};
