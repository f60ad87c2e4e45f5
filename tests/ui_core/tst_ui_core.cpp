// The window's parts that hold no widget, run without a window.
#include "tst_device_actions.h"
#include "tst_port_lifecycle.h"

#include <QCoreApplication>
#include <QtTest>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TestPortLifecycle ports;
    TestDeviceActions actions;
    return QTest::qExec(&ports, argc, argv) + QTest::qExec(&actions, argc, argv);
}
