#pragma once

#include "sites/SitesFile.h"

#include <QString>

#include <functional>
#include <vector>

// The headless watcher: every site's general status polled at its period,
// each on its own line and thread, into one poll log.
namespace sites {

// What became of one poll of a site (or of its start).
struct SiteEvent {
    enum class Kind {
        Polled,    // the line answered; the poll is in the log
        Failed,    // the line did not answer; logged as a poll without answers
        NotLogged, // polled, but the log did not take it (said in text)
        Progress,  // sensors asked so far (step of steps)
        Refused,   // the site is not watched: its log refused it (text)
        Stopped,   // the site's thread ended
    };
    Kind kind = Kind::Polled;
    int site = 0; // index in the sites given
    qint64 timeMs = 0;
    int answered = 0;
    int asked = 0;
    int notNormal = 0;
    int step = 0;
    int steps = 0;
    int nextInSeconds = 0; // the pause before the next poll
    QString text;
};

struct WatchOptions {
    QString log; // a SQLite file or postgresql://USER@HOST:PORT/DB
    // Polls older than this are dropped once a day by each site (0: never).
    int keepDays = 0;
    // A failed poll is tried again after firstRetrySeconds, then twice as
    // long each time, but never after more than maxRetrySeconds.
    int firstRetrySeconds = 5;
    int maxRetrySeconds = 300;
    // Asked between polls: stop now. Asked during a poll: break it off.
    std::function<bool()> stopBetweenPolls;
    std::function<bool()> stopAtOnce;
    // Called from the sites' threads, one call at a time.
    std::function<void(const SiteEvent&)> report;
};

// Watches until stopBetweenPolls; returns when every site's thread has
// ended. The pause after failed poll n (1, 2, ...).
void watchSites(const std::vector<Site>& sites, const WatchOptions& options);
int retryPauseSeconds(const WatchOptions& options, int failures);

} // namespace sites
