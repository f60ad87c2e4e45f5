#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

// A throw-away PostgreSQL server of Debian's package: initdb and pg_ctl in
// a scratch folder, listening on a free loopback port. Run as root (the
// server refuses that) it belongs to "nobody". Connections over TCP need
// the password, which the tests give through PGPASSWORD as a user would.
class PgCluster {
  public:
    static constexpr const char* kUser = "orvant";
    static constexpr const char* kPassword = "test-only-7Qz";

    PgCluster() {
        m_bin = binFolder();
        if (m_bin.isEmpty()) {
            m_error =
                QStringLiteral("no initdb under /usr/lib/postgresql: run tools/setup-debian.sh");
            return;
        }
        m_data = m_dir.filePath(QStringLiteral("data"));
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        if (::geteuid() == 0 &&
            ::chown(QFile::encodeName(m_dir.path()).constData(), 65534, 65534) != 0) {
            m_error = QStringLiteral("chown failed");
            return;
        }
        const QString pw = m_dir.filePath(QStringLiteral("pw"));
        QFile f(pw);
        f.open(QIODevice::WriteOnly);
        f.write(kPassword);
        f.close();
        if (::geteuid() == 0)
            ::chown(QFile::encodeName(pw).constData(), 65534, 65534);
        if (!run(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), m_data, QStringLiteral("-U"), QString::fromLatin1(kUser),
                  QStringLiteral("--pwfile=") + pw, QStringLiteral("--auth-local=trust"),
                  QStringLiteral("--auth-host=scram-sha-256"), QStringLiteral("-E"),
                  QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"),
                  QStringLiteral("--no-sync")}))
            return;
        m_ready = start();
    }
    ~PgCluster() { stop(); }
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    bool ready() const { return m_ready; }
    QString error() const { return m_error; }
    quint16 port() const { return m_port; }
    QString url(const QString& database) const {
        return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3")
            .arg(QString::fromLatin1(kUser))
            .arg(m_port)
            .arg(database);
    }

    bool start() {
        return run(QStringLiteral("pg_ctl"),
                   {QStringLiteral("-D"), m_data, QStringLiteral("-l"),
                    m_dir.filePath(QStringLiteral("server.log")), QStringLiteral("-w"),
                    QStringLiteral("-o"),
                    QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off")
                        .arg(m_port)
                        .arg(m_dir.path()),
                    QStringLiteral("start")});
    }
    bool stop() {
        if (m_data.isEmpty() || !QFile::exists(m_data + QStringLiteral("/postmaster.pid")))
            return true;
        return run(QStringLiteral("pg_ctl"),
                   {QStringLiteral("-D"), m_data, QStringLiteral("-m"), QStringLiteral("fast"),
                    QStringLiteral("-w"), QStringLiteral("stop")});
    }

    // A new empty database; its name comes back.
    QString createDatabase(const QString& name) {
        const QString connection = QStringLiteral("pgcluster-admin");
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
            db.setHostName(QStringLiteral("127.0.0.1"));
            db.setPort(m_port);
            db.setUserName(QString::fromLatin1(kUser));
            db.setPassword(QString::fromLatin1(kPassword));
            db.setDatabaseName(QStringLiteral("postgres"));
            ok =
                db.open() && QSqlQuery(db).exec(QStringLiteral("CREATE DATABASE \"%1\"").arg(name));
            if (!ok)
                m_error = db.lastError().text();
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
        return ok ? name : QString();
    }
    // A statement run as the cluster's owner in database.
    bool exec(const QString& database, const QString& statement) {
        const QString connection = QStringLiteral("pgcluster-exec");
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
            db.setHostName(QStringLiteral("127.0.0.1"));
            db.setPort(m_port);
            db.setUserName(QString::fromLatin1(kUser));
            db.setPassword(QString::fromLatin1(kPassword));
            db.setDatabaseName(database);
            ok = db.open() && QSqlQuery(db).exec(statement);
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
        return ok;
    }

  private:
    static QString binFolder() {
        const QDir root(QStringLiteral("/usr/lib/postgresql"));
        QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (auto it = versions.crbegin(); it != versions.crend(); ++it)
            if (QFile::exists(root.filePath(*it + QStringLiteral("/bin/initdb"))))
                return root.filePath(*it + QStringLiteral("/bin"));
        return {};
    }
    // A program of the server, as nobody when we are root.
    bool run(const QString& program, const QStringList& args) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.setWorkingDirectory(m_dir.path());
        const QString path = m_bin + QLatin1Char('/') + program;
        if (::geteuid() == 0)
            p.start(QStringLiteral("setpriv"),
                    QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                QStringLiteral("--clear-groups"), path} +
                        args);
        else
            p.start(path, args);
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0) {
            m_error = program + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll());
            return false;
        }
        return true;
    }

    QTemporaryDir m_dir;
    QString m_bin;
    QString m_data;
    quint16 m_port = 0;
    bool m_ready = false;
    QString m_error;
};
