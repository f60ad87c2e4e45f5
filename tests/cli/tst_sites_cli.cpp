#include "cli/tst_sites_cli.h"

#include "cli/CliRun.h"
#include "common/TestFiles.h"

#include <QDir>
#include <QtTest>

namespace {

// The site's layout differs from the line's scan (sensors 2..3 of the four),
// so the output shows the layout came from the site.
QByteArray sitesText(const QString& tty) {
    return "# две площадки\n[Нефтебаза 3]\nline=" + tty.toUtf8() +
           "\nevery=60\nKIP_TYP=1\nKIP_NUM=1,1\nKIP_B=\nKIP1=2,2\n"
           "[Другая]\nline=tcp://127.0.0.1:9\n";
}

} // namespace

void TestSitesCli::siteRunsCommandOnItsLine() {
    SimulatedLine line;
    QVERIFY(line.sim.started);
    const QString sites = putFile(line.dir, "sites.cfg", sitesText(line.sim.tty));
    const QString config = putFile(line.dir, "same.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=2,2\n");
    const Run bySite = runCli({QStringLiteral("--sites"), sites, QStringLiteral("--site"),
                               QStringLiteral("Нефтебаза 3"), QStringLiteral("status")});
    QCOMPARE(bySite.exitCode, 0);
    const Run typed = runCli({QStringLiteral("--port"), line.sim.tty, QStringLiteral("--config"),
                              config, QStringLiteral("status")});
    QCOMPARE(typed.exitCode, 0);
    // The same sensors, read the same way (the values move as a tank does).
    auto numbers = [](const QString& out) {
        QStringList n;
        for (const QString& row : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            n << row.section(QLatin1Char('\t'), 0, 0);
        return n;
    };
    QCOMPARE(numbers(bySite.out), numbers(typed.out));
    const QStringList rows = bySite.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 3);
    QVERIFY2(rows[1].startsWith(QStringLiteral("3\t")), qPrintable(rows[1]));
    QVERIFY2(rows[2].startsWith(QStringLiteral("4\t")), qPrintable(rows[2]));
    // scan takes the site's type.
    const Run scan = runCli({QStringLiteral("--sites"), sites, QStringLiteral("--site"),
                             QStringLiteral("Нефтебаза 3"), QStringLiteral("scan")});
    QCOMPARE(scan.exitCode, 0);
    QVERIFY2(scan.out.startsWith(QStringLiteral("KIP_TYP=1\n")), qPrintable(scan.out));
}

// Without --sites the file is the user's ~/.config/orvant2/sites.cfg.
void TestSitesCli::siteFromDefaultFile() {
    SimulatedLine line;
    QVERIFY(line.sim.started);
    QVERIFY(QDir(line.dir.path()).mkpath(QStringLiteral("cfg/orvant2")));
    putFile(line.dir, "cfg/orvant2/sites.cfg", sitesText(line.sim.tty));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), line.dir.filePath(QStringLiteral("cfg")));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ORVANT_CLI_BIN),
            {QStringLiteral("--site"), QStringLiteral("Нефтебаза 3"), QStringLiteral("status")});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(QString::fromUtf8(p.readAllStandardOutput()).contains(QStringLiteral("\n4\t")));
}

void TestSitesCli::wrongSiteWords_data() {
    QTest::addColumn<QByteArray>("sites");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("error");
    const QByteArray good = "[A]\nline=/dev/null\n";
    QTest::newRow("no such site") << good << QStringList{"--site", "B", "status"}
                                  << "sites.cfg: нет объекта \"B\"";
    QTest::newRow("bad file") << QByteArray("[A]\nline=x\nevery=-1\n")
                              << QStringList{"--site", "A", "status"}
                              << "sites.cfg: строка 3: every: нужно число секунд от 1 до 86400";
    QTest::newRow("site and port")
        << good << QStringList{"--site", "A", "--port", "/dev/null", "status"}
        << "--site сам задаёт линию и конфигурацию: без --port, --simulate и --config";
    QTest::newRow("site and config")
        << good << QStringList{"--config", "x.cfg", "--site", "A", "status"}
        << "--site сам задаёт линию и конфигурацию: без --port, --simulate и --config";
    QTest::newRow("site for a file command")
        << good << QStringList{"--site", "A", "hex-info", "x.hex"}
        << "hex-info работает с файлами, а не с линией";
    QTest::newRow("no name") << good << QStringList{"--site"} << "--site: нужно имя объекта";
}

void TestSitesCli::wrongSiteWords() {
    QFETCH(QByteArray, sites);
    QFETCH(QStringList, words);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = putFile(dir, "sites.cfg", sites);
    const Run r = runCli(QStringList{QStringLiteral("--sites"), path} + words);
    QCOMPARE(r.exitCode, 2);
    const QString expected = error.startsWith(QStringLiteral("sites.cfg"))
                                 ? dir.path() + QLatin1Char('/') + error
                                 : error;
    QVERIFY2(r.err.startsWith(QStringLiteral("orvant2-cli: ") + expected + QLatin1Char('\n')),
             qPrintable(r.err));
}
