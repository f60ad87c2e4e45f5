#pragma once

#include "db/UserDatabase.h"
#include "sensor/SensorCatalogue.h"

namespace db {
struct LoadedSettings;
}

#include <QObject>

#include <array>

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTabWidget;
class QVBoxLayout;
class QToolButton;
class QWidget;
class PageHost;
class ThermometerTab;
class DensityTab;
class SensorDatabases;
class TBuilderForm;

// The "СВОЙСТВА" page: the settings stored in the selected sensor. Reads run
// through the window's "ПОЛУЧИТЬ" frame, writes through "УСТАНОВИТЬ"; each
// write sends only the marked fields and releases the marks it confirmed.
class SensorPropertiesPage final : public QObject {
    Q_OBJECT
  public:
    // Tags of the reads and writes.
    enum Tag { SensorTag = 7, CodeUpdateTag = 8, SegmentsTag = 9, SectionsTag = 10 };
    enum TabIndex { SensorTab = 0, SectionsTab, MobileTab, ThermometersTab, DensitiesTab };

    // The fields show the rows of catalogue (the sensor's by default); a
    // row no group of the page lays out gets a field of its own.
    SensorPropertiesPage(PageHost& form, QWidget* page,
                         const std::vector<app::Setting>& catalogue = sensor::sensorSettings());

    ThermometerTab* thermometers() const { return m_thermometers; }
    SensorDatabases* databases() const { return m_databases; }
    TBuilderForm* builder() const { return m_builder; }
    // What a user file keeps of the page, and the page filled from one (the
    // values loaded get their marks, for "УСТАНОВИТЬ" to write them).
    db::UserFields userFields() const;
    // The keys of what a user file keeps that the last ПОЛУЧИТЬ left
    // unknown ("size", "thermometer.2.id", ...): the page holds part of the
    // sensor only, and nothing of it is saved.
    QStringList unansweredReads() const;
    void resetForUserLoad();
    void applyUserLoad(const db::LoadedSettings& loaded);
    void setSensorSize(const QString& mm);

    void showTab(int index);
    // A jump from the overview: only that tab is shown until the mode changes.
    void showOnly(int index);
    void showAllTabs();

  private:
    QWidget* buildSensorTab();
    QWidget* buildSectionsTab();
    QWidget* buildMobileTab();
    // "ПОЛУЧИТЬ" and "УСТАНОВИТЬ" of one Tag, at the right of a row.
    QHBoxLayout* getSetButtons(const char* getName, const char* setName, int tag, QWidget* parent,
                               QWidget* leading = nullptr);

    // Reads the rows whose fields sit in where and shows them (what did not
    // come, unread), saying on the status line what did not; the values.
    app::SettingValues readRows(QWidget* where);
    // Writes the marked rows of where as "sensor N set" does, and shows what
    // came of it.
    bool writeRows(QWidget* where);
    bool readSensor();
    bool writeSensor();
    bool readSections();
    bool writeSections();
    bool readSegments();
    bool writeSegments();
    bool readCodeUpdate();
    bool writeCodeUpdate();
    void clearSensorFields();
    void clearSections();

    // Flag rules: the forbidden combination can never be marked.
    void rbDMLClick();
    void cbOneDenClick();
    void sbDChEnClick();

    std::uint8_t sensor() const;
    bool linkOpen() const;

    PageHost& m_form;
    const std::vector<app::Setting>& m_catalogue;
    QTabWidget* m_tabs = nullptr;
    QVBoxLayout* m_sensorColumn = nullptr;
    ThermometerTab* m_thermometers = nullptr;
    QStringList m_sensorUnanswered; // of the sensor tab's last ПОЛУЧИТЬ
    DensityTab* m_densities = nullptr;
    SensorDatabases* m_databases = nullptr;
    TBuilderForm* m_builder = nullptr;

    QLineEdit* m_reSSize = nullptr;
    QCheckBox* m_cbNBSize = nullptr;
    QLineEdit* m_reFnd = nullptr;
    QRadioButton* m_rbCombi = nullptr;
    QRadioButton* m_rbSepar = nullptr;
    QCheckBox* m_cbOneDen = nullptr;
    QCheckBox* m_cbDDC_B2 = nullptr;
    QCheckBox* m_cbDDC_01 = nullptr;
    QLineEdit* m_reCrt = nullptr;
    QCheckBox* m_cbRetr = nullptr;
    QLabel* m_lBadFlags = nullptr;
    QToolButton* m_sbSizeEn = nullptr;
    QToolButton* m_sbFndEn = nullptr;
    QToolButton* m_sbDChEn = nullptr;
    QToolButton* m_sbDDCEn = nullptr;
    QToolButton* m_sbCrtEn = nullptr;
    QToolButton* m_sbRetrEn = nullptr;

    std::array<QLineEdit*, 8> m_reSAdd{};
    std::array<QToolButton*, 8> m_sbSAdd{};

    QWidget* m_segments = nullptr; // the mobile tab's groups
    QWidget* m_codes = nullptr;
    QLineEdit* m_reWorkSeg = nullptr;
    QLineEdit* m_reDelSeg = nullptr;
    QToolButton* m_sbSegCfg = nullptr;
    QCheckBox* m_cbCodUp = nullptr;
    QCheckBox* m_cbCodAlg = nullptr;
    QLineEdit* m_reAlgNum = nullptr;
    QLabel* m_stAlgCnt = nullptr;
    QToolButton* m_sbCodUp = nullptr;
    QToolButton* m_sbAlgNum = nullptr;
};
