#include "ui/Help.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

QString helpFolder(const QString& programFolder) {
    const QDir program(programFolder);
    // Beside the program in the build, in share/orvant2 when installed.
    for (const QString& candidate : {program.filePath(QStringLiteral("help")),
                                     program.filePath(QStringLiteral("../share/orvant2/help"))})
        if (QFileInfo(candidate).isDir())
            return QDir(candidate).canonicalPath();
    return program.filePath(QStringLiteral("help"));
}

QString helpFileFor(const QString& programFolder, const QString& pageName) {
    const QDir help(helpFolder(programFolder));
    const QString page = help.filePath(pageName + QStringLiteral(".html"));
    if (!pageName.isEmpty() && QFileInfo::exists(page))
        return page;
    const QString index = help.filePath(QStringLiteral("index.html"));
    return QFileInfo::exists(index) ? index : QString();
}

HelpViewer::HelpViewer(QWidget* parent) : QDialog(parent), m_browser(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Справка"));
    resize(720, 560);
    m_browser->setObjectName(QStringLiteral("HelpText"));
    m_browser->setOpenExternalLinks(true);
    auto* back = new QPushButton(QStringLiteral("Назад"), this);
    auto* home = new QPushButton(QStringLiteral("Содержание"), this);
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(home, &QPushButton::clicked, this, [this] {
        const QUrl current = m_browser->source();
        if (current.isLocalFile())
            m_browser->setSource(QUrl::fromLocalFile(
                QFileInfo(current.toLocalFile()).dir().filePath(QStringLiteral("index.html"))));
    });
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    connect(m_browser, &QTextBrowser::sourceChanged, this, &HelpViewer::fitPictures);
    m_browser->viewport()->installEventFilter(this);
    back->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(home);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* column = new QVBoxLayout(this);
    column->addWidget(m_browser, 1);
    column->addLayout(buttons);
}

bool HelpViewer::eventFilter(QObject* watched, QEvent* event) {
    // The page's width is known once the window is laid out, and changes
    // with it.
    if (watched == m_browser->viewport() && event->type() == QEvent::Resize)
        fitPictures();
    return QDialog::eventFilter(watched, event);
}

int HelpViewer::widestPicture() const {
    int widest = 0;
    for (QTextBlock block = m_browser->document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (const QTextImageFormat f = it.fragment().charFormat().toImageFormat(); f.isValid())
                widest = std::max(widest, qRound(f.width()));
    return widest;
}

void HelpViewer::fitPictures() {
    QTextDocument* doc = m_browser->document();
    const QTextFrameFormat page = doc->rootFrame()->frameFormat();
    // The page's own margins (the style's body margin among them) and room
    // for a vertical scroll bar that a fitted picture may bring.
    const int room = m_browser->viewport()->width() -
                     static_cast<int>(2 * doc->documentMargin() + page.leftMargin() +
                                      page.rightMargin() + 2 * page.padding()) -
                     m_browser->verticalScrollBar()->sizeHint().width();
    if (room <= 0)
        return;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat paragraph = block.blockFormat();
        const int inBlock = room - static_cast<int>(paragraph.leftMargin() +
                                                    paragraph.rightMargin() +
                                                    paragraph.textIndent());
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment part = it.fragment();
            QTextImageFormat picture = part.charFormat().toImageFormat();
            if (!picture.isValid())
                continue;
            const QImage image =
                doc->resource(QTextDocument::ImageResource, QUrl(picture.name())).value<QImage>();
            if (image.isNull() || inBlock <= 0)
                continue;
            const int width = std::min(image.width(), inBlock);
            if (qRound(picture.width()) == width)
                continue;
            picture.setWidth(width);
            picture.setHeight(static_cast<double>(image.height()) * width / image.width());
            QTextCursor cursor(doc);
            cursor.setPosition(part.position());
            cursor.setPosition(part.position() + part.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(picture);
        }
    }
}

void HelpViewer::showPage(const QString& file) {
    if (file.isEmpty())
        m_browser->setHtml(QStringLiteral("<p>Справка не установлена: рядом с программой нет "
                                          "папки help.</p>"));
    else
        m_browser->setSource(QUrl::fromLocalFile(file));
    show();
    raise();
    activateWindow();
}
