#pragma once

#include "snapshot/SnapshotRestore.h"

#include <QObject>

#include <functional>

class QAction;
class QMenu;
class PageHost;

// *Файл → Снимок установки…, Сравнить снимки…, Восстановить из снимка…,
// Отчёт…*: the installation snapshot in the window.
class SnapshotMenu final : public QObject {
    Q_OBJECT
  public:
    SnapshotMenu(PageHost& form, QMenu* file, QAction* before);

    // What asks the engineer, replaceable where nobody can answer.
    struct Dialogs {
        std::function<QString(const QString& caption, const QString& filter)> saveFile;
        std::function<QString(const QString& caption)> openFile;
        // The scope of a restore: 0 all, 1 the selected sensor, 2 the
        // selected controller; nothing when cancelled.
        std::function<std::optional<int>()> scope;
        // A list shown with a question; true for yes.
        std::function<bool(const QString& caption, const QStringList& lines)> confirm;
        std::function<void(const QStringList& lines)> showDifferences;
        // A list shown with its caption, to be read only.
        std::function<void(const QString& caption, const QStringList& lines)> showLines;
    };
    Dialogs dialogs;

    void TakeSnapshot();
    void CompareSnapshots();
    void RestoreFromSnapshot();
    void Report();

  private:
    // The snapshot the engineer chose, its path in chosen when asked.
    std::optional<snapshot::Snapshot> open(const QString& caption, QString* chosen = nullptr);

    PageHost& m_form;
};
