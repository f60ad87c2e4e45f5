#include "ui/Help.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

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
