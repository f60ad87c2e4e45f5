#pragma once

#include <QObject>

class TestPropertiesPage : public QObject {
    Q_OBJECT
  private slots:
    void readAndWriteSensorGroups();
    void badTextIsNeverSent();
    void aCatalogueRowIsOnThePage();
    void writeSwitchesTransitItself();
    void forbiddenFlagsCannotBeMarked();
    void sectionCorrections();
    void mobileSensor();
    void tabWritesNeedAnAnswer_data();
    void tabWritesNeedAnAnswer();
    void inputFilters_data();
    void inputFilters();
    void changeOfSensorClearsFields();
    void partReadShowsTheRestUnread_data();
    void partReadShowsTheRestUnread();
    void helpShowsThePage();
    void helpOfAnInstallation();
    void thermometersReadEnterWrite();
    void placeWritesSayWhy();
    void lateSearchResultIsNoResult();
    void thermometerSearchAndReorder();
    void builderHandOver();
    void identifierRefusedBeforeAnyFrame_data();
    void identifierRefusedBeforeAnyFrame();
    void densityMeters();
    void densityKeyFilter_data();
    void densityKeyFilter();
};
