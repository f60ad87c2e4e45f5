#pragma once

#include <QCoreApplication>
#include <QMetaMethod>
#include <QtTest>

#include <algorithm>
#include <iterator>
#include <vector>

// Runs several test classes in one executable (one executable per folder).
//
// Test functions named on the command line (as CTest's parts of a long
// executable name them) go each to the class that has it; a class with
// none of them is not run. Without names every class runs whole.
namespace testmain {

// QtTest's options that take the next word as their value.
inline bool takesValue(const QByteArray& option) {
    static const QByteArrayList withValue{
        "-o",          "-maxwarnings",  "-eventdelay",   "-keydelay",
        "-mousedelay", "-minimumvalue", "-minimumtotal", "-iterations",
        "-median",     "-repeat",       "-seed"};
    return withValue.contains(option);
}

inline bool hasFunction(const QMetaObject& meta, const QByteArray& word) {
    // "name" or "name:data tag".
    const QByteArray name = word.left(word.indexOf(':') < 0 ? word.size() : word.indexOf(':'));
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod m = meta.method(i);
        if (m.methodType() == QMetaMethod::Slot && m.parameterCount() == 0 && m.name() == name)
            return true;
    }
    return false;
}

// The words of the command line that name test functions, by index.
inline std::vector<int> namedWords(int argc, char** argv) {
    std::vector<int> named;
    for (int i = 1; i < argc; ++i) {
        const QByteArray word(argv[i]);
        if (!word.startsWith('-'))
            named.push_back(i);
        else if (takesValue(word))
            ++i;
    }
    return named;
}

// Runs test with the options and its own function names only.
inline int runOwn(QObject& test, int argc, char** argv, const std::vector<int>& named) {
    std::vector<char*> own;
    for (int i = 0; i < argc; ++i)
        if (std::find(named.begin(), named.end(), i) == named.end() ||
            hasFunction(*test.metaObject(), argv[i]))
            own.push_back(argv[i]);
    return QTest::qExec(&test, static_cast<int>(own.size()), own.data());
}

} // namespace testmain

template <typename... Tests> int runTests(int argc, char** argv) {
    const std::vector<int> named = testmain::namedWords(argc, argv);
    const QMetaObject* metas[] = {&Tests::staticMetaObject...};
    auto anyHas = [&](const QMetaObject& meta) {
        return std::any_of(named.begin(), named.end(),
                           [&](int i) { return testmain::hasFunction(meta, argv[i]); });
    };
    // A name no class has would make a part test less than it says.
    for (int i : named)
        if (std::none_of(std::begin(metas), std::end(metas), [&](const QMetaObject* m) {
                return testmain::hasFunction(*m, argv[i]);
            })) {
            qWarning("no test function %s", argv[i]);
            return 1;
        }
    int failed = 0;
    auto run = [&]<typename Test>() {
        if (!named.empty() && !anyHas(Test::staticMetaObject))
            return;
        Test t;
        failed += testmain::runOwn(t, argc, argv, named);
    };
    (run.template operator()<Tests>(), ...);
    return failed;
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
