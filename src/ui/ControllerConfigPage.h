#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QToolButton;
class QWidget;
class PageHost;

// The controller's "КОНФИГУРАЦИЯ" page: polling interval, host channels,
// passwords, its own address and sensor range, and the sensor map. Only
// the items whose mark button is down are written.
class ControllerConfigPage final : public QObject {
    Q_OBJECT
  public:
    enum { Tag = 6 };
    ControllerConfigPage(PageHost& form, QWidget* page);

    bool GetKCfg();
    bool SetKCfg();

  private:
    void applyType();
    void tbIntChange(int position);
    void clearFields();
    // A confirmed write releases its mark.
    void moveSelectedController(int index);
    void rebuildLayout();

    // A marked field: its setting's key and its text as typed or chosen.
    struct Field {
        QToolButton* mark;
        const char* key;
        std::function<QString()> text;
    };

    PageHost& m_form;
    std::vector<Field> m_fields;
    QSlider* m_interval = nullptr;
    QLabel* m_intervalText = nullptr;
    QWidget* m_controllerPart = nullptr;
    QWidget* m_hostPart = nullptr;
    QComboBox* m_mainHost = nullptr;
    QComboBox* m_secondHost = nullptr;
    QLineEdit* m_workingPassword = nullptr;
    QLineEdit* m_systemPassword = nullptr;
    QComboBox* m_address = nullptr;
    QLineEdit* m_firstSensor = nullptr;
    QComboBox* m_sensorCount = nullptr;
    QCheckBox* m_sensorMap = nullptr;
    QToolButton* m_markInterval = nullptr;
    QToolButton* m_markMain = nullptr;
    QToolButton* m_markSecond = nullptr;
    QToolButton* m_markWorking = nullptr;
    QToolButton* m_markSystem = nullptr;
    QToolButton* m_markAddress = nullptr;
    QToolButton* m_markFirst = nullptr;
    QToolButton* m_markCount = nullptr;
    QToolButton* m_markMap = nullptr;
};
