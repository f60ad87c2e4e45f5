#pragma once

#include <QObject>
#include <QTemporaryDir>

#include <memory>

class PgCluster;

// The same cases on a SQLite file and on a PostgreSQL server.
class TestLogEngines : public QObject {
    Q_OBJECT
  public:
    TestLogEngines();
    ~TestLogEngines() override;

  private slots:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void sitesKeptApart_data();
    void sitesKeptApart();
    void writersStartingTogether_data();
    void writersStartingTogether();
    void secondWriterRefused_data();
    void secondWriterRefused();
    void serverAddresses_data();
    void serverAddresses();
    void serverRestartedWhileRecording();

  private:
    void engines();
    // A fresh log of the row's engine.
    QString freshLog(const QString& name);

    QTemporaryDir m_dir;
    std::unique_ptr<PgCluster> m_server;
    int m_databases = 0;
};
