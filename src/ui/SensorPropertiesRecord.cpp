#include "db/UserLoadSettings.h"
#include "sensor/SensorCatalogue.h"
#include "ui/PageHost.h"
#include "ui/PlacesTabs.h"
#include "ui/SensorPropertiesPage.h"
#include "ui/SettingWidgets.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>

// The page as the user files see it.

db::UserFields SensorPropertiesPage::userFields() const {
    db::UserFields f;
    f.address = m_form.state().sensorAddress;
    f.size = m_reSSize->text();
    f.correction = m_reFnd->text();
    f.criterion = m_reCrt->text();
    f.resetOnLinkLoss = m_cbDDC_B2->isChecked();
    f.resetOnDensity01 = m_cbDDC_01->isChecked();
    f.propagate = m_cbRetr->isChecked();
    f.separate = m_rbSepar->isChecked();
    for (int k = 0; k < db::kThermometerFields; ++k) {
        f.thermometerIds[k] = m_thermometers->identifier(k);
        f.thermometerHeights[k] = m_thermometers->height(k);
    }
    for (int n = 0; n < db::kMeterFields; ++n) {
        f.meterIds[n] = m_densities->identifier(n);
        f.meterHeights[n] = m_densities->height(n);
    }
    return f;
}

QStringList SensorPropertiesPage::unansweredReads() const {
    return m_sensorUnanswered + m_thermometers->unread() + m_densities->unread();
}

void SensorPropertiesPage::resetForUserLoad() {
    // From now on the page shows the file's values, not a read of the sensor.
    m_sensorUnanswered.clear();
    m_thermometers->forgetRead();
    m_densities->forgetRead();
    m_thermometers->clear();
    for (int n = 0; n < db::kMeterFields; ++n)
        m_densities->clearMeter(n);
    for (QLineEdit* e : {m_reFnd, m_reSSize, m_reCrt})
        e->clear();
    for (QCheckBox* c : {m_cbNBSize, m_cbDDC_B2, m_cbDDC_01, m_cbRetr})
        c->setChecked(false);
    m_rbCombi->setChecked(true);
    for (QToolButton* mark : {m_sbSizeEn, m_sbFndEn, m_sbDChEn, m_sbDDCEn, m_sbCrtEn, m_sbRetrEn})
        mark->setChecked(false);
    showAllTabs();
}

void SensorPropertiesPage::applyUserLoad(const db::LoadedSettings& loaded) {
    // Every value by its catalogue row; those "УСТАНОВИТЬ" is to write get
    // their marks, the rest is only shown.
    for (const auto& [key, value] : loaded.shown)
        if (const app::Setting* row = app::findSetting(m_catalogue, key))
            showSetting(*row, value, m_tabs);
    for (const auto& [key, value] : loaded.marked) {
        const app::Setting* row = app::findSetting(m_catalogue, key);
        if (!row)
            continue;
        showSetting(*row, value, m_tabs);
        if (QToolButton* mark = markOf(*row, m_tabs))
            mark->setChecked(true);
    }
}

void SensorPropertiesPage::setSensorSize(const QString& mm) {
    m_reSSize->setText(mm);
}
