#include "ui/SensorDatabases.h"

#include "app/Modes.h"
#include "db/SensorRecord.h"
#include "db/UserDatabase.h"
#include "db/UserLoadSettings.h"
#include "ui/PageHost.h"
#include "ui/PlacesTabs.h"
#include "ui/SensorPropertiesPage.h"
#include "ui/TDBase.h"
#include "ui/TSAForm.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString kCurrentCaption = QStringLiteral("Текущая база ");
const QString kBadStructure = QStringLiteral("Неподходящая структура файла.");
const QString kUserFilter = QStringLiteral("Файлы баз данных (*.dbf)");

} // namespace

SensorDatabases::SensorDatabases(PageHost& form, SensorPropertiesPage& page, QWidget* panelArea)
    : QObject(&page), m_form(form), m_page(page) {
    auto* button = new QToolButton;
    button->setObjectName(QStringLiteral("tbDBase"));
    button->setText(QStringLiteral("Базы данных"));
    button->setMinimumWidth(84);
    button->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(button);
    auto* factory = menu->addMenu(QStringLiteral("База производителя"));
    m_current = factory->addAction(kCurrentCaption);
    m_current->setObjectName(QStringLiteral("miCurFBase"));
    QAction* change = factory->addAction(QStringLiteral("Сменить"));
    change->setObjectName(QStringLiteral("N3"));
    connect(change, &QAction::triggered, this, &SensorDatabases::DBFileClick);
    m_userMenu = menu->addMenu(QStringLiteral("Базы пользователя"));
    m_userMenu->setObjectName(QStringLiteral("miUserBase"));
    QAction* load = m_userMenu->addAction(QStringLiteral("Загрузить"));
    load->setObjectName(QStringLiteral("miLoadUser"));
    load->setToolTip(QStringLiteral("Взять параметры датчика из файла"));
    QAction* save = m_userMenu->addAction(QStringLiteral("Сохранить"));
    save->setObjectName(QStringLiteral("miSaveUser"));
    save->setToolTip(QStringLiteral("Сохранить параметры датчика в файле"));
    m_userMenu->setToolTipsVisible(true);
    connect(load, &QAction::triggered, this, &SensorDatabases::loadUserFile);
    connect(save, &QAction::triggered, this, &SensorDatabases::SaveUserDBF);
    button->setMenu(menu);
    form.addToolButton(button);
    // The user files work on the properties page only.
    m_userMenu->setEnabled(false);
    form.addEnterAction(app::TagProp, [this] { m_userMenu->setEnabled(true); });
    form.addLeaveAction(app::TagProp, [this] {
        m_userMenu->setEnabled(false);
        m_panel->hide();
    });

    m_panel = buildNumberPanel(panelArea);
    panelArea->layout()->addWidget(m_panel);
    m_confirm = new TDBase(form.dialogParent());

    QWidget* parent = form.dialogParent();
    const QString folder = QApplication::applicationDirPath();
    dialogs.chooseFactory = [parent, folder] {
        return QFileDialog::getOpenFileName(parent, QStringLiteral("База производителя"), folder,
                                            QStringLiteral("Базы данных (*.dbf)"));
    };
    dialogs.chooseLoad = [parent] {
        return QFileDialog::getOpenFileName(parent, QStringLiteral("Загрузить"), QString(),
                                            kUserFilter);
    };
    dialogs.chooseSave = [parent] {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Сохранить"), QString(),
                                            kUserFilter, nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };
    dialogs.askAddress = [parent](int sensorAddress) {
        TSAForm ask(parent);
        return ask.askSensorAddress(sensorAddress);
    };
    dialogs.confirmOverwrite = [parent] {
        return QMessageBox::warning(
                   parent, QStringLiteral("БАЗА ДАННЫХ"),
                   QStringLiteral("Датчик с таким адресом\nуже есть\nИзменить эту запись?"),
                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    dialogs.locked = [parent] {
        QMessageBox::information(parent, QStringLiteral("БАЗА ДАННЫХ"),
                                 QString::fromUtf8(db::kLockedText));
    };
    dialogs.warning = [parent](const QString& text) {
        QMessageBox::warning(parent, QStringLiteral("БАЗА ДАННЫХ"), text);
    };
    dialogs.confirmFactory = [](TDBase& d) { return d.exec() == QDialog::Accepted; };

    ThermometerTab* thermometers = page.thermometers();
    thermometers->setFromFile([this] { showNumberPanel(); });
    thermometers->setFactoryLookup([this](const QStringList&) { FactoryLookup(true); });
    FindFactoryBase(folder);
}

QWidget* SensorDatabases::buildNumberPanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QStringLiteral("pSelNum"));
    panel->setFrameShape(QFrame::StyledPanel);
    auto* column = new QVBoxLayout(panel);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(new QLabel(QStringLiteral("ФАЙЛ БАЗЫ ДАННЫХ"), panel));
    m_file = new QLabel(panel);
    m_file->setObjectName(QStringLiteral("stDBFile"));
    m_file->setFrameShape(QFrame::Panel);
    m_file->setFrameShadow(QFrame::Sunken);
    fileRow->addWidget(m_file, 1);
    auto* choose = new QPushButton(QStringLiteral("..."), panel);
    choose->setObjectName(QStringLiteral("sbDBFile"));
    choose->setToolTip(QStringLiteral("Выбор базы данных"));
    choose->setFixedWidth(32);
    connect(choose, &QPushButton::clicked, this, &SensorDatabases::DBFileClick);
    fileRow->addWidget(choose);
    column->addLayout(fileRow);
    auto* numberRow = new QHBoxLayout;
    numberRow->addWidget(new QLabel(QStringLiteral("НОМЕР ДАТЧИКА ПО ШИЛЬДИКУ"), panel));
    m_number = new QLineEdit(panel);
    m_number->setObjectName(QStringLiteral("reSelNum"));
    m_number->setToolTip(QStringLiteral("Номер датчика уровня"));
    m_number->setMaximumWidth(100);
    numberRow->addWidget(m_number);
    auto* ok = new QPushButton(QStringLiteral("OK"), panel);
    ok->setObjectName(QStringLiteral("btSelNum"));
    auto* close = new QPushButton(QStringLiteral("ЗАКРЫТЬ"), panel);
    close->setObjectName(QStringLiteral("btCloseDB"));
    connect(ok, &QPushButton::clicked, this, &SensorDatabases::btSelNumClick);
    connect(m_number, &QLineEdit::returnPressed, this, &SensorDatabases::btSelNumClick);
    connect(close, &QPushButton::clicked, panel, &QWidget::hide);
    numberRow->addWidget(ok);
    numberRow->addWidget(close);
    numberRow->addStretch(1);
    column->addLayout(numberRow);
    panel->hide();
    return panel;
}

void SensorDatabases::setFactory(const QString& path) {
    m_factory = path;
    m_file->setText(path);
    m_current->setText(kCurrentCaption.left(13) + path);
}

void SensorDatabases::FindFactoryBase(const QString& folder) {
    setFactory(db::FindFactoryBase(folder));
}

void SensorDatabases::DBFileClick() {
    const QString path = dialogs.chooseFactory();
    if (path.isEmpty())
        return;
    if (db::CheckStructure(path, false, false))
        setFactory(path);
    else
        dialogs.warning(kBadStructure);
}

void SensorDatabases::showNumberPanel() {
    // Without a factory database the panel can only ask for one.
    if (m_factory.isEmpty())
        m_form.SetMess(db::kNoFactoryBase);
    m_panel->show();
    m_number->setFocus();
    m_number->selectAll();
}

void SensorDatabases::btSelNumClick() {
    m_panel->hide();
    if (m_factory.isEmpty()) {
        m_form.SetMess(db::kNoFactoryBase);
        return;
    }
    bool ok = false;
    m_number->text().trimmed().toInt(&ok);
    if (!ok)
        return;
    const db::FactoryRead r = db::FindFactoryByNumber(m_factory, m_number->text(), dialogs.locked);
    if (!r.opened)
        return;
    // An unknown number leaves the places as they are, and says so.
    if (!r.record) {
        m_form.SetMess(db::numberNotFoundText(m_number->text()));
        return;
    }
    const auto places = db::factoryThermometers(*r.record);
    ThermometerTab* t = m_page.thermometers();
    for (int k = 0; k < db::kThermometerFields; ++k) {
        const bool filled = k < static_cast<int>(places.size());
        t->setPlace(k, filled ? places[k].first : QString(), filled ? places[k].second : QString(),
                    filled);
    }
    if (!r.record->size.isEmpty())
        m_page.setSensorSize(r.record->size);
    if (!places.empty())
        t->setButton()->setFocus();
}

int SensorDatabases::FactoryLookup(bool confirm) {
    if (m_factory.isEmpty())
        return -1;
    ThermometerTab* t = m_page.thermometers();
    const auto record = db::FindFactoryByIds(m_factory, t->identifiers(), dialogs.locked);
    if (!record)
        return -1;
    if (confirm) {
        QStringList ids, heights;
        for (int k = 0; k < db::kThermometerFields; ++k) {
            if (record->ids[k].isEmpty())
                continue;
            ids << record->ids[k];
            heights << record->heights[k];
        }
        m_confirm->fill(ids, heights);
        // Fewer than three found is not taken, even when agreed to.
        if (dialogs.confirmFactory(*m_confirm) && m_confirm->identifierLines().size() >= 3) {
            const QStringList idLines = m_confirm->identifierLines();
            const QStringList heightLines = m_confirm->heightLines();
            for (int j = 0; j < idLines.size() && j < db::kThermometerFields; ++j) {
                const int line = static_cast<int>(idLines.size()) - 1 - j;
                t->setPlace(j, idLines[line], heightLines.value(line), std::nullopt);
            }
        }
    }
    return db::factoryNumber(*record);
}

void SensorDatabases::loadUserFile() {
    m_page.resetForUserLoad();
    const QString path = dialogs.chooseLoad();
    if (!path.isEmpty())
        ExtDBFOpened(path);
}

void SensorDatabases::ExtDBFOpened(const QString& path) {
    m_form.SetMess(QString());
    if (!db::CheckStructure(path, true, false)) {
        dialogs.warning(kBadStructure);
        return;
    }
    const std::optional<int> address = dialogs.askAddress(m_form.state().sensorAddress);
    if (!address || *address < 0)
        return;
    const db::LoadResult r = db::LoadUserRecord(path, *address, dialogs.locked);
    if (r.outcome == db::LoadOutcome::NoSuchAddress) {
        m_form.SetMess(QStringLiteral("ТАКОГО АДРЕСА НЕТ В БАЗЕ"));
    } else if (r.outcome == db::LoadOutcome::Loaded) {
        // A record with a value the catalogue refuses is refused whole, as
        // "db-load" refuses it.
        const db::LoadedSettings loaded = db::loadedSettings(r.values);
        if (!loaded.refusals.isEmpty()) {
            m_form.SetMess(loaded.refusals.join(QStringLiteral("; ")));
            return;
        }
        m_page.applyUserLoad(loaded);
        m_form.SetMess(QStringLiteral("СВОЙСТВА СЧИТАНЫ"));
    }
}

void SensorDatabases::SaveUserDBF() {
    m_form.SetMess(QString());
    // Half a sensor never replaces a whole one kept in the file.
    if (const QStringList missing = m_page.unansweredReads(); !missing.isEmpty()) {
        m_form.SetMess(db::notSavedText(m_form.state().sensorAddress, missing));
        return;
    }
    const QString chosen = dialogs.chooseSave();
    if (chosen.isEmpty())
        return;
    const QString path = db::userFilePath(chosen);
    if (QFileInfo::exists(path) && !db::CheckStructure(path, true, false)) {
        dialogs.warning(kBadStructure);
        return;
    }
    const int number = FactoryLookup(false);
    const db::SaveResult r = db::SaveUserRecord(path, m_page.userFields(), number,
                                                dialogs.confirmOverwrite, dialogs.locked);
    switch (r.outcome) {
    case db::SaveOutcome::Saved:
        m_form.SetMess(QStringLiteral("СВОЙСТВА СОХРАНЕНЫ"));
        break;
    case db::SaveOutcome::Busy:
    case db::SaveOutcome::TooLong:
    case db::SaveOutcome::Failed:
        m_form.SetMess(QStringLiteral("СБОЙ СОХРАНЕНИЯ: ") + r.problem);
        break;
    case db::SaveOutcome::BadStructure:
        dialogs.warning(kBadStructure);
        break;
    case db::SaveOutcome::Declined:
    case db::SaveOutcome::NotOpened:
        break;
    }
}
