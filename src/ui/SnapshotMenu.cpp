#include "ui/SnapshotMenu.h"

#include "snapshot/SnapshotReport.h"
#include "ui/PageHost.h"
#include "ui/TPForm.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QVBoxLayout>

namespace {

const QString kJson = QStringLiteral("Снимки установки (*.json)");

// A list of lines, with a question (Да / Нет) or to be closed.
bool showLines(QWidget* parent, const QString& caption, const QStringList& lines, bool ask) {
    QDialog d(parent);
    d.setObjectName(QStringLiteral("dlgSnapshotLines"));
    d.setWindowTitle(caption);
    auto* list = new QListWidget(&d);
    list->addItems(lines);
    auto* buttons = new QDialogButtonBox(&d);
    if (ask) {
        buttons->addButton(QStringLiteral("Да"), QDialogButtonBox::AcceptRole);
        buttons->addButton(QStringLiteral("Нет"), QDialogButtonBox::RejectRole);
    } else {
        buttons->addButton(QStringLiteral("Закрыть"), QDialogButtonBox::AcceptRole);
    }
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    auto* column = new QVBoxLayout(&d);
    column->addWidget(new QLabel(caption, &d));
    column->addWidget(list);
    column->addWidget(buttons);
    d.resize(720, 480);
    return d.exec() == QDialog::Accepted && ask;
}

// The extension the filter names, when none was typed.
QString withSuffix(QString path, const char* suffix) {
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + QLatin1String(suffix);
    return path;
}

} // namespace

SnapshotMenu::SnapshotMenu(PageHost& form, QMenu* file, QAction* before)
    : QObject(form.dialogParent()), m_form(form) {
    auto add = [&](const char* name, const QString& text, void (SnapshotMenu::*slot)()) {
        auto* a = new QAction(text, file);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
        file->insertAction(before, a);
    };
    add("miSnapshot", QStringLiteral("Снимок установки…"), &SnapshotMenu::TakeSnapshot);
    add("miSnapshotDiff", QStringLiteral("Сравнить снимки…"), &SnapshotMenu::CompareSnapshots);
    add("miRestore", QStringLiteral("Восстановить из снимка…"), &SnapshotMenu::RestoreFromSnapshot);
    add("miReport", QStringLiteral("Отчёт…"), &SnapshotMenu::Report);
    file->insertSeparator(before);

    QWidget* parent = form.dialogParent();
    dialogs.saveFile = [parent](const QString& caption, const QString& filter) {
        return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
    };
    dialogs.openFile = [parent](const QString& caption) {
        return QFileDialog::getOpenFileName(parent, caption, QString(), kJson);
    };
    dialogs.scope = [parent]() -> std::optional<int> {
        const QStringList items{QStringLiteral("Вся установка"), QStringLiteral("Выбранный датчик"),
                                QStringLiteral("Выбранный КИП")};
        bool ok = false;
        const QString item =
            QInputDialog::getItem(parent, QStringLiteral("Восстановить"),
                                  QStringLiteral("Что восстановить:"), items, 0, false, &ok);
        return ok ? std::optional<int>(static_cast<int>(items.indexOf(item))) : std::nullopt;
    };
    dialogs.confirm = [parent](const QString& caption, const QStringList& lines) {
        return showLines(parent, caption, lines, true);
    };
    dialogs.showDifferences = [parent](const QStringList& lines) {
        showLines(parent, QStringLiteral("Различия снимков"), lines, false);
    };
    dialogs.showLines = [parent](const QString& caption, const QStringList& lines) {
        showLines(parent, caption, lines, false);
    };
}

void SnapshotMenu::TakeSnapshot() {
    const QString path =
        withSuffix(dialogs.saveFile(QStringLiteral("Снимок установки"), kJson), "json");
    if (path.isEmpty())
        return;
    QString error;
    if (!snapshot::roomForSnapshot(path, m_form.state().layout, &error)) {
        m_form.SetMess(QStringLiteral("НЕ ЗАПИСАНО: %1: %2").arg(path, error));
        return;
    }
    m_form.runAction([this, &path] {
        std::vector<app::SilentFront> fronts;
        const auto s = snapshot::TakeSnapshot(m_form.link(), m_form.state().layout,
                                              *m_form.progressDialog(), {}, &fronts);
        // The walk leaves transit off, whoever had switched it on.
        m_form.showTransit(false);
        if (!s) {
            m_form.SetMess(QStringLiteral("СНИМОК НЕ СДЕЛАН"));
            return m_form.link().isOpen();
        }
        // A file of silent devices alone would record nothing but silence;
        // a controller or a line whose devices were left unasked is said
        // after that.
        if (snapshot::nothingAnswered(*s)) {
            QStringList silence{snapshot::kNothingAnswered};
            for (const app::SilentFront& f : fronts)
                silence << app::silentFrontText(f);
            m_form.SetMess(silence.join(QStringLiteral("; ")));
            return m_form.link().isOpen();
        }
        QString error;
        if (!snapshot::writeSnapshot(path, *s, &error)) {
            m_form.SetMess(QStringLiteral("НЕ ЗАПИСАНО: %1: %2").arg(path, error));
            return m_form.link().isOpen();
        }
        // The silent devices, those read in part and the silent fronts.
        m_form.SetMess(snapshot::savedText(*s, fronts));
        return m_form.link().isOpen();
    });
}

std::optional<snapshot::Snapshot> SnapshotMenu::open(const QString& caption, QString* chosen) {
    const QString path = dialogs.openFile(caption);
    if (chosen)
        *chosen = path;
    if (path.isEmpty())
        return std::nullopt;
    QString error;
    auto s = snapshot::readSnapshot(path, &error);
    if (!s)
        m_form.SetMess(QStringLiteral("НЕ СНИМОК: %1: %2").arg(path, error));
    return s;
}

void SnapshotMenu::CompareSnapshots() {
    m_form.SetMess(QString());
    const auto first = open(QStringLiteral("Первый снимок"));
    if (!first)
        return;
    const auto second = open(QStringLiteral("Второй снимок"));
    if (!second)
        return;
    const auto diff = snapshot::Diff(*first, *second);
    m_form.SetMess(QStringLiteral("РАЗЛИЧИЙ: %1").arg(diff.size()));
    QStringList lines;
    for (const auto& d : diff)
        lines << snapshot::diffCaption(d);
    if (!lines.isEmpty())
        dialogs.showDifferences(lines);
}

void SnapshotMenu::RestoreFromSnapshot() {
    if (m_form.deviceBusy())
        return;
    m_form.SetMess(QString());
    QString path;
    const auto target = open(QStringLiteral("Восстановить из снимка"), &path);
    if (!target)
        return;
    // A snapshot holding a value that may never be sent is refused whole.
    if (const QStringList refused = snapshot::RefusedValues(*target); !refused.isEmpty()) {
        m_form.SetMess(QStringLiteral("НЕ ВОССТАНОВЛЕНО: ") + refused.first());
        dialogs.showLines(QStringLiteral("Снимок не восстанавливается"), refused);
        return;
    }
    const auto choice = dialogs.scope();
    if (!choice)
        return;
    snapshot::Scope scope;
    const app::WorkingState& state = m_form.state();
    if (*choice == 1)
        scope.sensor = state.sensorAddress + 1;
    else if (*choice == 2 && state.selectedControllerAddress != app::kNoControllerSelected)
        scope.controller = state.selectedControllerAddress - 0x80 + 1;
    if (const QString missing = snapshot::scopeMissing(*target, scope, path); !missing.isEmpty()) {
        m_form.SetMess(QStringLiteral("НЕ ВОССТАНОВЛЕНО: ") + missing);
        return;
    }
    snapshot::RestorePlan plan;
    m_form.runAction([&] {
        plan = snapshot::PrepareRestore(m_form.link(), state.layout, *target, scope,
                                        *m_form.progressDialog());
        m_form.showTransit(false);
        return m_form.link().isOpen();
    });
    if (!plan.now)
        return;
    if (!plan.mismatches.isEmpty()) {
        m_form.SetMess(QStringLiteral("НЕ ВОССТАНОВЛЕНО: ") + plan.mismatches.first());
        dialogs.showLines(QStringLiteral("Снимок другой установки"), plan.mismatches);
        return;
    }
    // The layout's differences and the silent devices head the list.
    QStringList restorable, sensitive, never;
    for (const auto& d : plan.layout)
        never << snapshot::diffCaption(d);
    for (const snapshot::DeviceRef& d : plan.silent)
        never << snapshot::deviceName(d.sensor, d.number) + QStringLiteral(": НЕТ ОТВЕТА");
    for (const snapshot::DeviceRef& d : plan.unreached)
        never << snapshot::deviceName(d.sensor, d.number) + QStringLiteral(": НЕТ НА ЛИНИИ");
    for (const auto& c : plan.changes)
        (c.kind == snapshot::Change::Restorable  ? restorable
         : c.kind == snapshot::Change::Sensitive ? sensitive
                                                 : never)
            << snapshot::changeCaption(c) + (c.kind == snapshot::Change::NotRestorable
                                                 ? QStringLiteral(" (не восстанавливается)")
                                                 : QString());
    // What the file has no value for stays as it is: listed with the rest.
    QStringList lacking;
    for (const auto& c : plan.lacking)
        lacking << snapshot::changeCaption(c) + QStringLiteral(" (нет в снимке, не записывается)");
    if (restorable.isEmpty() && sensitive.isEmpty()) {
        m_form.SetMess(never.isEmpty() ? QStringLiteral("ОТЛИЧИЙ НЕТ")
                                       : QStringLiteral("ОТЛИЧАЕТСЯ ТОЛЬКО НЕВОССТАНАВЛИВАЕМОЕ"));
        return;
    }
    if (!restorable.isEmpty() &&
        !dialogs.confirm(QStringLiteral("Записать эти изменения?"), restorable + never + lacking))
        return;
    // Passwords and addresses are asked about on their own.
    const bool withSensitive =
        !sensitive.isEmpty() &&
        dialogs.confirm(QStringLiteral("Записать и пароли и адреса?"), sensitive);
    if (!plan.anything(withSensitive))
        return;
    m_form.runAction([&] {
        const snapshot::RestoreResult r = snapshot::RunRestore(
            m_form.link(), state.layout, plan, *target, withSensitive, *m_form.progressDialog());
        m_form.showTransit(false);
        m_form.SetMess(snapshot::restoreOutcome(r));
        QStringList left;
        for (const auto& c : r.left)
            left << snapshot::changeCaption(c);
        if (!left.isEmpty())
            dialogs.showLines(snapshot::restoreOutcome(r), left);
        return m_form.link().isOpen();
    });
}

void SnapshotMenu::Report() {
    m_form.SetMess(QString());
    const auto s = open(QStringLiteral("Отчёт по снимку"));
    if (!s)
        return;
    const QString path = withSuffix(
        dialogs.saveFile(QStringLiteral("Отчёт"), QStringLiteral("PDF (*.pdf);;HTML (*.html)")),
        "pdf");
    if (path.isEmpty())
        return;
    QString error;
    m_form.SetMess(snapshot::writeReport(*s, path, &error)
                       ? QStringLiteral("ОТЧЁТ ЗАПИСАН")
                       : QStringLiteral("НЕ ЗАПИСАНО: %1: %2").arg(path, error));
}
