#pragma once

#include <QObject>

// A site named on the command line: its line and layout as if typed.
class TestSitesCli : public QObject {
    Q_OBJECT
  private slots:
    void siteRunsCommandOnItsLine();
    void siteFromDefaultFile();
    void wrongSiteWords_data();
    void wrongSiteWords();
};
