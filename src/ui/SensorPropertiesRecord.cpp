#include "ui/PageHost.h"
#include "ui/PlacesTabs.h"
#include "ui/SensorPropertiesPage.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
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
    QStringList missing = m_sensorUnanswered;
    if (m_thermometers->readInPart())
        missing << QStringLiteral("thermometers");
    if (m_densities->readInPart())
        missing << QStringLiteral("density meters");
    return missing;
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

void SensorPropertiesPage::applyUserLoad(const db::UserLoad& v) {
    for (int k = 0; k < db::kThermometerFields; ++k) {
        if (!v.thermometerIds[k])
            continue;
        const auto& h = v.thermometerHeights[k];
        m_thermometers->setPlace(k, *v.thermometerIds[k], h ? QString::number(*h) : QString(),
                                 h ? std::optional<bool>(true) : std::nullopt);
    }
    for (int n = 0; n < db::kMeterFields; ++n) {
        if (!v.meterIds[n])
            continue;
        const auto& h = v.meterHeights[n];
        m_densities->setMeter(n, *v.meterIds[n], h ? QString::number(*h) : QString(),
                              h ? std::optional<bool>(true) : std::nullopt);
    }
    if (v.size)
        m_reSSize->setText(QString::number(*v.size));
    if (v.correction) {
        m_reFnd->setText(*v.correction);
        m_sbFndEn->setChecked(true);
    }
    if (v.criterion) {
        m_reCrt->setText(*v.criterion);
        m_sbCrtEn->setChecked(true);
    }
    if (v.resetOnLinkLoss)
        m_cbDDC_B2->setChecked(*v.resetOnLinkLoss);
    if (v.resetOnDensity01)
        m_cbDDC_01->setChecked(*v.resetOnDensity01);
    if (v.resetOnLinkLoss || v.resetOnDensity01)
        m_sbDDCEn->setChecked(true);
    if (v.propagate) {
        m_cbRetr->setChecked(*v.propagate);
        m_sbRetrEn->setChecked(true);
    }
    if (v.separate) {
        (*v.separate ? m_rbSepar : m_rbCombi)->setChecked(true);
        m_sbDChEn->setChecked(true);
    }
}

void SensorPropertiesPage::setSensorSize(const QString& mm) {
    m_reSSize->setText(mm);
}
