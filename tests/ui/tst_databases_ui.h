#pragma once

#include <QObject>

class TestDatabasesUi : public QObject {
    Q_OBJECT
  private slots:
    void userMenuOnThePropertiesPageOnly();
    void changeFactoryBase();
    void thermometersFromANameplateNumber();
    void searchCheckedAgainstTheFactory_data();
    void searchCheckedAgainstTheFactory();
    void saveAndLoadAUserFile();
    void loadedRecordIsWrittenAsDbLoadWritesIt_data();
    void loadedRecordIsWrittenAsDbLoadWritesIt();
    void saveFailuresAreSaid_data();
    void saveFailuresAreSaid();
    void builderHandsOverThermometersAndLength();
};
