#pragma once

#include <QCoreApplication>
#include <QtTest>

// Runs several test classes in one executable (one executable per folder).
template <typename Test> int runTest(int argc, char** argv) {
    Test t;
    return QTest::qExec(&t, argc, argv);
}

template <typename... Tests> int runTests(int argc, char** argv) {
    return (runTest<Tests>(argc, argv) + ...);
}

// For tests that need no window system.
#define ORVANT_CORE_TEST_MAIN(...)                                                                 \
    int main(int argc, char** argv) {                                                              \
        QCoreApplication app(argc, argv);                                                          \
        return runTests<__VA_ARGS__>(argc, argv);                                                  \
    }

#ifdef QT_WIDGETS_LIB
#include <QApplication>

#define ORVANT_TEST_MAIN(...)                                                                      \
    int main(int argc, char** argv) {                                                              \
        QApplication app(argc, argv);                                                              \
        return runTests<__VA_ARGS__>(argc, argv);                                                  \
    }
#endif
