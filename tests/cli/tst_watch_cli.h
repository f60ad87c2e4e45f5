#pragma once

#include <QObject>

#include <memory>

class PgCluster;

// orvant2-cli watch against simulated sites over TCP: lines in parallel,
// dead and hung lines, a hang-up mid-poll, the log's faults, two watchers.
class TestWatchCli : public QObject {
    Q_OBJECT
  public:
    TestWatchCli();
    ~TestWatchCli() override;

  private slots:
    void initTestCase();
    void sitesPolledSideBySide();
    void deadSiteAloneIsLogged();
    void pollProgressCountsUp();
    void hangUpMidPollComesBack();
    void firstSignalEndsThePollSecondAtOnce();
    void secondWatcherOfSiteRefused_data();
    void secondWatcherOfSiteRefused();
    void fullDiskReportedNotDropped();
    void serverStoppedAndRestarted();
    void exportsAndPrunesEitherLog_data();
    void exportsAndPrunesEitherLog();

  private:
    std::unique_ptr<PgCluster> m_server;
    int m_databases = 0;
};
