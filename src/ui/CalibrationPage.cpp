#include "ui/CalibrationPage.h"

#include "app/FileWriter.h"
#include "app/Modes.h"
#include "caltable/TableFile.h"
#include "caltable/TablePreview.h"
#include "caltable/TableProgramming.h"
#include "caltable/TableReading.h"
#include "caltable/TableTransfer.h"
#include "ui/PageHost.h"
#include "ui/PageProgress.h"
#include "ui/TEForm.h"
#include "ui/TPForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

namespace {

using caltable::kTanks;
using caltable::RowGroup;

const char* const kColours[] = {nullptr, "#00FFFF", "#FF00FF", "#00FF00"};

} // namespace

CalibrationPage::CalibrationPage(PageHost& form, QWidget* page) : QObject(page), m_form(form) {
    auto* body = new QWidget(page);
    auto* columns = new QHBoxLayout(body);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->addWidget(buildPreview(body));
    columns->addWidget(buildRows(body), 1);
    page->layout()->addWidget(body);
    m_editor = new TEForm(page->window());
    m_editor->setChanged([this] { drawPreview(); });
    readFolder = QApplication::applicationDirPath();
    chooseFile = [this] {
        return QFileDialog::getOpenFileName(m_preview, QStringLiteral("Таблица"), QString(),
                                            QStringLiteral("Файлы с таблицами(*.vlm)"));
    };
    ask = [this](const QString& caption, const QString& text) {
        return QMessageBox::question(m_preview, caption, text,
                                     QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                     QMessageBox::No);
    };
    inform = [this](const QString& text) { QMessageBox::information(m_preview, QString(), text); };
    editRow = [this](int row) {
        m_editor->setUp(&m_lines, m_zeroLine, caltable::EditorMode::EditRow, row);
        return m_editor->exec() == QDialog::Accepted;
    };
    m_form.addEnterAction(app::TagCT, [this] { Reenter(); });
    showButtons();
}

bool CalibrationPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_preview) {
        if (event->type() == QEvent::MouseMove && m_scale > 0) {
            const int y = static_cast<int>(static_cast<QMouseEvent*>(event)->position().y());
            m_level->setText(QString::number(caltable::levelAt(y, m_scale)));
        } else if (event->type() == QEvent::MouseButtonRelease && m_scale > 0) {
            previewClicked(static_cast<int>(static_cast<QMouseEvent*>(event)->position().y()));
        }
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        for (int i = 0; i < kTanks; ++i)
            if (watched == m_file[i]) {
                AssignTableFile(i);
                return true;
            }
    }
    return false;
}

// State and cells --------------------------------------------------------------------

bool CalibrationPage::single() const {
    return m_form.state().layout.isDirectSensorType();
}

std::uint8_t CalibrationPage::controller() const {
    return m_form.state().selectedControllerAddress;
}

int CalibrationPage::tankNumber(int row) const {
    const app::WorkingState& s = m_form.state();
    if (single())
        return s.sensorAddress + 1;
    const int i = s.selectedControllerIndex();
    const int offset = s.layout.controllersFound > 1 && i >= 0
                           ? s.layout.ControllerTable[i].firstSensorAddress
                           : 0;
    return row + 1 + offset;
}

void CalibrationPage::showRows() {
    for (int i = 0; i < kTanks; ++i) {
        const caltable::TankRow& r = m_rows.rows[i];
        m_file[i]->setText(r.f);
        m_cells[i][0]->setText(r.s);
        m_cells[i][1]->setText(r.e);
        m_cells[i][2]->setText(r.h);
        const char* colour = kColours[static_cast<int>(r.selected)];
        m_tank[i]->setStyleSheet(
            colour ? QStringLiteral("background-color: %1;").arg(QLatin1String(colour))
                   : QString());
    }
    showButtons();
}

void CalibrationPage::showButtons() {
    m_rows.saveAllocationEnabled = m_saveAT->isEnabled();
    const caltable::ButtonStates b = m_rows.buttons();
    m_exchange->setEnabled(b.exchange);
    m_duplicate->setEnabled(b.duplicate);
    m_readTables->setEnabled(b.readTables);
    m_cancelFile->setEnabled(b.cancelFile);
    m_saveAT->setEnabled(b.saveAllocation);
    m_program->setEnabled(b.program);
}

void CalibrationPage::Reenter() {
    m_rows = caltable::TankRows();
    m_rows.single = single();
    m_pageSize->hide();
    const app::WorkingState& s = m_form.state();
    // One row per sensor of the controller, numbered as the tanks are.
    int rowsShown = 1;
    if (!single()) {
        int i = s.selectedControllerIndex();
        if (i < 0)
            for (int k = 0; k < app::kControllerSlots && i < 0; ++k)
                if (s.layout.isPresent(k))
                    i = k;
        rowsShown =
            i >= 0 ? std::clamp(s.layout.ControllerTable[i].sensorCount, 1, kTanks) : kTanks;
    }
    for (int r = 0; r < kTanks; ++r) {
        m_tank[r]->setText(QString::number(tankNumber(r)));
        for (QWidget* w :
             {static_cast<QWidget*>(m_tank[r]), static_cast<QWidget*>(m_file[r]),
              static_cast<QWidget*>(m_cells[r][0]), static_cast<QWidget*>(m_cells[r][1]),
              static_cast<QWidget*>(m_cells[r][2])})
            w->setVisible(r < rowsShown);
    }
    showRows();
    LoadAllocationTable();
}

// The allocation table ------------------------------------------------------------------

void CalibrationPage::LoadAllocationTable() {
    m_form.runAction([this] {
        bus::SerialLink& link = m_form.link();
        m_rows.single = single();
        for (caltable::TankRow& r : m_rows.rows)
            r.selected = RowGroup::None;
        m_rows.pageSize =
            single() ? caltable::kSinglePageSize : caltable::ReadPageSize(link, controller());
        m_pageSize->setText(QStringLiteral("Размер страницы : %1 байт").arg(m_rows.pageSize));
        m_pageSize->show();
        const auto read = caltable::ReadAllocation(link, controller(), m_rows.pageSize);
        if (read) {
            m_rows.loadAllocation(*read);
            for (int i = 0; i < kTanks; ++i)
                if (m_cells[i][0]->isVisible() && m_rows.rows[i].s.isEmpty()) {
                    m_file[i]->setFocus();
                    break;
                }
            m_form.SetMess(read->anyTable ? QStringLiteral("ТАБЛИЦА РАЗМЕЩЕНИЯ СЧИТАНА")
                                          : QStringLiteral("КАЛИБРОВОЧНЫХ ТАБЛИЦ НЕТ"));
        }
        showRows();
        return link.isOpen();
    });
}

void CalibrationPage::btSaveATClick() {
    m_form.runAction([this] {
        const bool ok = caltable::StoreAllocationTable(m_form.link(), controller(),
                                                       m_rows.allocation(), single());
        m_saveAT->setEnabled(!ok);
        if (ok)
            m_rows.allocationChanged = false;
        m_form.SetMess(ok ? QStringLiteral("ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА")
                          : QStringLiteral("СБОЙ ЗАПИСИ ТАБЛИЦЫ РАЗМЕЩЕНИЯ"));
        showButtons();
        return m_form.link().isOpen();
    });
}

void CalibrationPage::CTDelClick() {
    m_form.runAction([this] {
        if (!caltable::ClearAllocationTable(m_form.link(), controller(), single())) {
            m_form.SetMess(QStringLiteral("СБОЙ УДАЛЕНИЯ ТАБЛИЦЫ"));
            return m_form.link().isOpen();
        }
        m_form.SetMess(QStringLiteral("ТАБЛИЦА ПУСТАЯ"));
        m_rows.clearAll();
        showRows();
        m_file[0]->setFocus();
        return true;
    });
}

// Writing and reading tables ---------------------------------------------------------------

void CalibrationPage::btCTProgClick() {
    QString said;
    m_form.runAction([this, &said] { return programTables(said); });
    // The window says the line was lost; where the write ended is said after it.
    if (!m_form.link().isOpen() && !said.isEmpty())
        m_form.SetMess(said);
}

bool CalibrationPage::programTables(QString& said) {
    bus::SerialLink& link = m_form.link();
    // Files that do not convert are passed over, with the converter's text.
    QStringList texts;
    caltable::TablePlan plan;
    const std::vector<caltable::PlannedFile> planned = m_rows.plannedFiles();
    if (!editsSaved(planned))
        return link.isOpen();
    for (const caltable::PlannedFile& p : planned) {
        caltable::TableJob job;
        QString status;
        if (!caltable::ConvertTableFile(p.path, job.image, status)) {
            texts << QStringLiteral("№%1: %2").arg(tankNumber(p.rows.front())).arg(status);
            continue;
        }
        job.rows = p.rows;
        plan.tables.push_back(job);
        if (single())
            break;
    }
    if (plan.tables.empty()) {
        m_form.SetMess(texts.join(QStringLiteral("; ")));
        return link.isOpen();
    }
    plan.allocation = m_rows.allocation();
    plan.firstPage = m_rows.firstFreePage;
    if (m_shift->isChecked()) {
        plan.firstPage += m_shiftPages->text().toInt();
        m_shift->setChecked(false);
    }
    plan.verify = m_verify->isChecked();
    m_form.SetMess(QStringLiteral("ПРОГРАММИРОВАНИЕ"));
    PageProgress progress(*m_form.progressDialog(), *m_ind);
    const caltable::TableProgrammingResult r =
        caltable::ProgramTables(link, {controller(), single(), m_rows.pageSize}, plan, progress);
    // A table not confirmed keeps its file for another try, and is named.
    for (std::size_t j = 0; j < r.tables.size(); ++j) {
        const caltable::TableOutcome& t = r.tables[j];
        if (t.recorded)
            m_rows.written(plan.tables[j].rows, t.entry);
        if (t.state != caltable::TableState::Confirmed)
            texts << QStringLiteral("№%1: %2")
                         .arg(tankNumber(plan.tables[j].rows.front()))
                         .arg(caltable::describe(t));
    }
    if (!single() && !r.serviceRefused)
        m_rows.firstFreePage = r.nextFreePage;
    if (r.store != caltable::AllocationStore::NotNeeded) {
        m_saveAT->setEnabled(r.store != caltable::AllocationStore::Stored);
        if (r.store == caltable::AllocationStore::Stored)
            m_rows.allocationChanged = false;
    }
    for (const QString& text : {caltable::describe(r.store), caltable::describe(r)})
        if (!text.isEmpty())
            texts << text;
    said = texts.join(QStringLiteral("; "));
    m_form.SetMess(said);
    showRows();
    return link.isOpen();
}

bool CalibrationPage::editsSaved(const std::vector<caltable::PlannedFile>& planned) {
    if (!m_edited || !m_fromFile)
        return true;
    const bool concerned = std::any_of(planned.begin(), planned.end(),
                                       [this](const auto& p) { return p.path == m_chosenFile; });
    if (!concerned)
        return true;
    const int answer =
        ask(QString(), QStringLiteral("Таблица %1 изменена в редакторе.\nСохранить её в файле "
                                      "и записать?")
                           .arg(QFileInfo(m_chosenFile).fileName()));
    if (answer != QMessageBox::Yes) {
        m_form.SetMess(QStringLiteral("НЕ ЗАПИСАНО: ТАБЛИЦА ИЗМЕНЕНА, НО НЕ СОХРАНЕНА"));
        return false;
    }
    return saveLines();
}

void CalibrationPage::btCTReadClick() {
    m_form.runAction([this] { return readTables(); });
}

bool CalibrationPage::readTables() {
    bus::SerialLink& link = m_form.link();
    m_height->clear();
    m_preview->clear();
    // The rows picked out as the controller's tables, each to its file.
    // An installed program's folder cannot be written: the tables go to
    // the user's own, and the status line says where.
    const QString wanted = single() ? QDir::currentPath() : readFolder;
    const QString folder = app::writableFolder(wanted);
    std::vector<caltable::ReadJob> jobs;
    for (int i = 0; i < kTanks; ++i)
        if (m_rows.rows[i].selected == RowGroup::ControllerTable)
            jobs.push_back(
                {i, tankNumber(i),
                 QDir(folder).filePath(caltable::tableFileName(tankNumber(i), single()))});
    const auto shown = [&](const caltable::ReadJob& job) {
        return folder == wanted ? QFileInfo(job.path).fileName()
                                : QDir::toNativeSeparators(job.path);
    };
    m_form.SetMess(QStringLiteral("ЧТЕНИЕ"));
    PageProgress progress(*m_form.progressDialog(), *m_ind);
    const caltable::TableReadingResult r =
        caltable::ReadTables(link, {controller(), single(), m_rows.pageSize}, jobs, progress);
    m_form.SetMess(QString());
    if (!r.allocationRead)
        return link.isOpen();
    m_height->setText(QStringLiteral("0"));
    QStringList done, problems;
    const caltable::ReadOutcome* last = nullptr;
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        const caltable::ReadOutcome& t = r.tables[j];
        // Where Break or the lost line ended the run, the rest was not asked.
        if (t.reason == caltable::ReadReason::Stopped)
            break;
        const QString said = caltable::describe(t, jobs[j], shown(jobs[j]));
        if (t.reason != caltable::ReadReason::None) {
            problems << said;
            continue;
        }
        done << said;
        last = &t;
        m_rows.rows[jobs[j].row].selected = RowGroup::None;
    }
    if (last) {
        // The last table read is the one on screen.
        const int tank = jobs[static_cast<std::size_t>(last - r.tables.data())].tank;
        m_height->setText(caltable::TankRows::heightText(last->entry.size));
        m_lines = caltable::tableFileLines(last->image, tank);
        m_fromFile = false;
        m_edited = false;
        m_store->setEnabled(false);
        parseTable(QString());
    }
    if (!problems.isEmpty())
        m_form.SetMess(problems.join(QStringLiteral("; ")));
    else if (!done.isEmpty())
        m_form.SetMess(done.last());
    showRows();
    return link.isOpen();
}

// Rows -----------------------------------------------------------------------------------------

void CalibrationPage::SelectTankRow(int row) {
    m_form.SetMess(m_rows.select(row));
    showRows();
}

void CalibrationPage::AssignTableFile(int row) {
    m_form.SetMess(QString());
    m_height->clear();
    m_preview->clear();
    if (!m_rows.assignable(row)) {
        inform(QStringLiteral("Ссылка на таблицу единственная.\nНАЗНАЧЕНИЕ НЕВОЗМОЖНО."));
        return;
    }
    if (!m_rows.rows[row].f.isEmpty()) {
        const int answer =
            ask(QStringLiteral("ЧТО СДЕЛАТЬ"),
                QStringLiteral("ДА  - Выбрать новое.\nНЕТ - Очистить выбранное.\nОТМЕНА - "
                               "Оставить прежнее."));
        if (answer == QMessageBox::Cancel)
            return;
        m_rows.cancelFile(row);
        m_form.SetMess(QStringLiteral("ФАЙЛ ДЛЯ РЕЗЕРВУАРА №%1 ОТМЕНЕН").arg(tankNumber(row)));
        showRows();
        if (answer == QMessageBox::No)
            return;
    }
    const QString path = chooseFile ? chooseFile() : QString();
    if (path.isEmpty()) {
        showButtons();
        return;
    }
    assignFile(row, path);
}

void CalibrationPage::assignFile(int row, const QString& path) {
    m_form.SetMess(QString());
    const QString name = QFileInfo(path).fileName();
    const int same = m_rows.rowShowing(name, row);
    if (same >= 0) {
        m_rows.shareFile(row, same);
        showRows();
        return;
    }
    m_rows.rows[row].f.clear();
    m_pendingRow = row;
    m_chosenFile = path;
    if (parseTable(path) <= 0)
        m_pendingRow = -1;
    showRows();
}

int CalibrationPage::parseTable(const QString& path) {
    if (!path.isEmpty()) {
        QString error;
        m_tableRows = 0;
        m_lines.clear();
        m_edited = false;
        if (!caltable::readTableFile(path, m_lines, &error)) {
            m_form.SetMess(QFileInfo(path).fileName() + QStringLiteral(": ") + error);
            return -1;
        }
        m_fromFile = true;
    }
    const caltable::ParsedTable t = caltable::ParseTableText(
        m_lines, [this](caltable::EditorMode mode, QStringList& lines, int line, int row) {
            return editTable(mode, lines, line, row);
        });
    if (t.rows <= 0) {
        m_form.SetMess(t.status);
        return t.rows;
    }
    m_tableRows = t.rows;
    m_tableSize = t.tableSize;
    m_zeroLine = t.zeroLine;
    m_height->setText(QString::number(t.rows - 1));
    drawPreview();
    m_apply->setEnabled(m_fromFile);
    return t.rows;
}

bool CalibrationPage::editTable(caltable::EditorMode mode, QStringList& lines, int line, int row) {
    m_store->setEnabled(false);
    m_editor->setUp(&lines, line, mode, row);
    const bool accepted = m_editor->exec() == QDialog::Accepted;
    if (accepted)
        m_edited = true;
    return accepted;
}

void CalibrationPage::drawPreview() {
    if (m_zeroLine < 0)
        return;
    m_preview->setPixmap(
        QPixmap::fromImage(caltable::DrawTablePreview(m_lines, m_zeroLine, m_scale)));
}

void CalibrationPage::previewClicked(int y) {
    const int row = caltable::levelAt(y, m_scale);
    if (row < 0 || m_zeroLine < 0)
        return;
    if (editRow && editRow(row)) {
        m_edited = true;
        m_store->setEnabled(true);
        parseTable(QString());
    }
}

void CalibrationPage::btTankClick(bool apply) {
    m_form.SetMess(QString());
    m_apply->setEnabled(false);
    // An edit stays there to be saved.
    m_store->setEnabled(apply && m_edited);
    const int row = m_pendingRow;
    m_pendingRow = -1;
    if (!apply || row < 0 || m_tableRows <= 0)
        return;
    m_form.SetMess(m_rows.applyFile(row, m_chosenFile, m_tableRows, m_tableSize, tankNumber(row)));
    showRows();
}

void CalibrationPage::btClrEntrClick() {
    m_form.SetMess(QString());
    m_rows.cancelSelectedFiles();
    showRows();
}

void CalibrationPage::btExchClick() {
    m_form.SetMess(m_rows.exchange());
    showRows();
}

void CalibrationPage::btMulClick() {
    m_form.SetMess(m_rows.duplicate());
    showRows();
}

void CalibrationPage::btStorClick() {
    saveLines();
}

bool CalibrationPage::saveLines() {
    m_store->setEnabled(false);
    if (m_chosenFile.isEmpty())
        return false;
    QString error;
    const bool saved = caltable::saveTable(
        m_lines, m_chosenFile,
        [this] {
            return ask(QString(), QStringLiteral("Файл имеет атрибут защиты от записи,\nснять "
                                                 "защиту и записать?")) == QMessageBox::Yes;
        },
        &error);
    m_form.SetMess(saved ? QStringLiteral("ЗАПИСАНО: ") + QFileInfo(m_chosenFile).fileName()
                         : QStringLiteral("НЕ ЗАПИСАНО: ") + error);
    if (saved)
        m_edited = false;
    else
        m_store->setEnabled(true);
    return saved;
}
