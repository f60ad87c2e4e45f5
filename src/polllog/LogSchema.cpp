#include "polllog/LogSchema.h"

#include "polllog/PollRows.h"

namespace polllog {

const char* const kValueColumns[6] = {"fuel", "water", "temperature", "density", "volume", "mass"};

namespace {

struct Types {
    QString real, key, pollId, time, clustered;
};

// SQLite's REAL is a double; PostgreSQL's is single precision. SQLite keeps
// the readings clustered by their key (WITHOUT ROWID).
Types typesOf(Engine e) {
    if (e == Engine::Postgres)
        return {QStringLiteral("DOUBLE PRECISION"), QStringLiteral("BIGSERIAL PRIMARY KEY"),
                QStringLiteral("BIGINT"), QStringLiteral("BIGINT"), QString()};
    return {QStringLiteral("REAL"), QStringLiteral("INTEGER PRIMARY KEY"),
            QStringLiteral("INTEGER"), QStringLiteral("INTEGER"), QStringLiteral(" WITHOUT ROWID")};
}

QString channelColumns(const QString& real) {
    QString out;
    for (const char letter : {'t', 'd'})
        for (int n = 1; n <= kChannels; ++n)
            out += QStringLiteral("%1%2 %3, %1%2_code INTEGER, ")
                       .arg(QLatin1Char(letter))
                       .arg(n)
                       .arg(real);
    return out;
}

QString valueColumns(const QString& real) {
    QString out;
    for (const char* c : kValueColumns)
        out += QStringLiteral("%1 %2, %1_code INTEGER, ").arg(QString::fromLatin1(c), real);
    return out;
}

// The tables with the site, in one engine's words. table is the name the
// readings tables get (the upgrade makes them beside the old ones first).
QStringList tables(Engine e, const QString& suffix) {
    const Types t = typesOf(e);
    const QString siteKey = e == Engine::Postgres ? QStringLiteral("SERIAL PRIMARY KEY") : t.key;
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS sites(id %1, name TEXT NOT NULL UNIQUE)")
            .arg(siteKey),
        // answered: the rows of the poll that had an answer (NULL in polls
        // of earlier versions).
        QStringLiteral("CREATE TABLE IF NOT EXISTS polls%1(id %2, site INTEGER NOT NULL, "
                       "time %3 NOT NULL, kind INTEGER NOT NULL, answered INTEGER)")
            .arg(suffix, t.key, t.time),
        QStringLiteral("CREATE TABLE IF NOT EXISTS readings%1(site INTEGER NOT NULL, sensor "
                       "INTEGER NOT NULL, poll %2 NOT NULL, s1 INTEGER, s2 INTEGER, %3"
                       "normal INTEGER NOT NULL, PRIMARY KEY(site, sensor, poll))%4")
            .arg(suffix, t.pollId, valueColumns(t.real), t.clustered),
        QStringLiteral("CREATE TABLE IF NOT EXISTS extended%1(site INTEGER NOT NULL, sensor "
                       "INTEGER NOT NULL, poll %2 NOT NULL, %3PRIMARY KEY(site, sensor, poll))%4")
            .arg(suffix, t.pollId, channelColumns(t.real), t.clustered),
        QStringLiteral("CREATE TABLE IF NOT EXISTS overview%1(site INTEGER NOT NULL, sensor "
                       "INTEGER NOT NULL, poll %2 NOT NULL, version TEXT, height INTEGER, "
                       "thermometers INTEGER, density_meters INTEGER, "
                       "PRIMARY KEY(site, sensor, poll))%3")
            .arg(suffix, t.pollId, t.clustered),
    };
}

const QStringList kIndexes = {
    QStringLiteral("CREATE INDEX IF NOT EXISTS polls_site_time ON polls(site, time)"),
    // Pruning walks the polls by time over every site.
    QStringLiteral("CREATE INDEX IF NOT EXISTS polls_time ON polls(time)"),
};

} // namespace

QStringList createStatements(Engine engine) {
    QStringList out = tables(engine, QString());
    out += kIndexes;
    if (engine == Engine::Postgres)
        out << QStringLiteral("CREATE TABLE IF NOT EXISTS orvant2_log(version INTEGER NOT NULL)");
    return out;
}

QStringList upgradeStatements(int fromVersion) {
    QStringList out;
    // The site every earlier poll belongs to: the file was one site's.
    out << tables(Engine::Sqlite, QString())[0]
        << QStringLiteral("INSERT OR IGNORE INTO sites(id, name) VALUES(1, '')");
    const QStringList made = tables(Engine::Sqlite, QStringLiteral("_new"));
    out << made[1]
        << QStringLiteral("INSERT INTO polls_new(id, site, time, kind) SELECT id, 1, time, kind "
                          "FROM polls")
        << QStringLiteral("DROP TABLE polls")
        << QStringLiteral("ALTER TABLE polls_new RENAME TO polls");
    out << made[2] << QStringLiteral("INSERT INTO readings_new SELECT 1, * FROM readings")
        << QStringLiteral("DROP TABLE readings")
        << QStringLiteral("ALTER TABLE readings_new RENAME TO readings");
    for (int i : {3, 4}) {
        const QString name = i == 3 ? QStringLiteral("extended") : QStringLiteral("overview");
        out << made[i];
        if (fromVersion >= 2)
            out << QStringLiteral("INSERT INTO %1_new SELECT 1, * FROM %1").arg(name)
                << QStringLiteral("DROP TABLE %1").arg(name);
        out << QStringLiteral("ALTER TABLE %1_new RENAME TO %1").arg(name);
    }
    return out + kIndexes;
}

QStringList readViewsOf(bool hasExtended, bool hasOverview) {
    QStringList out{
        QStringLiteral("CREATE TEMP VIEW sites AS SELECT 1 AS id, '' AS name"),
        QStringLiteral("CREATE TEMP VIEW polls AS SELECT id, 1 AS site, time, kind, NULL AS "
                       "answered FROM main.polls"),
        QStringLiteral("CREATE TEMP VIEW readings AS SELECT 1 AS site, * FROM main.readings"),
    };
    if (hasExtended)
        out << QStringLiteral("CREATE TEMP VIEW extended AS SELECT 1 AS site, * FROM "
                              "main.extended");
    if (hasOverview)
        out << QStringLiteral("CREATE TEMP VIEW overview AS SELECT 1 AS site, * FROM "
                              "main.overview");
    return out;
}

QString addSiteStatement() {
    // Both engines know this form of upsert.
    return QStringLiteral("INSERT INTO sites(name) VALUES(?) ON CONFLICT(name) DO NOTHING");
}

QString extendedColumns(const QString& prefix) {
    QStringList names;
    for (const char letter : {'t', 'd'})
        for (int n = 1; n <= kChannels; ++n)
            names << QStringLiteral("%1%2%3, %1%2%3_code")
                         .arg(prefix)
                         .arg(QLatin1Char(letter))
                         .arg(n);
    return names.join(QStringLiteral(", "));
}

} // namespace polllog
