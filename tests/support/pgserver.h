#pragma once

// One throwaway PostgreSQL server per test program: made with initdb in a
// temporary folder on the first use, started on a free local port, stopped
// when the program ends. As root the server runs as the postgres user.
//
// Every role may connect without a password, except kPasswordRole
// (password kPassword), which must give it. German() is a second such server
// whose messages are in German (lc_messages de_DE.UTF-8).

#include "db/backend/dialect.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testpg {

inline constexpr const char* kPasswordRole = "zq_secret";
inline constexpr const char* kPassword = "s3cret-Pw";

// A local TCP port nothing listens on (at the moment of asking).
inline int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

class Server
{
public:
    static Server& Instance()
    {
        static Server server;
        return server;
    }

    // A server that words its messages, a refused password's too, in German.
    // The locale is generated first where it is missing and may be (as root).
    static Server& German()
    {
        static Server server(QStringLiteral("de_DE.UTF-8"));
        return server;
    }

    bool IsRunning() const { return m_running; }
    QString Error() const { return m_error; }
    int Port() const { return m_port; }

    // postgresql://user@127.0.0.1:port/database
    QString Uri(const QString& database, const QString& user = QStringLiteral("postgres")) const
    {
        return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3")
            .arg(user)
            .arg(m_port)
            .arg(database);
    }

    // Runs statements as the superuser (names as the program writes them, see
    // Dialect::Sql); returns the first error, empty when all went well.
    QString Exec(const QString& database, const QStringList& statements,
                 bool oneTransaction = false) const
    {
        QString error;
        WithConnection(
            database,
            [&](QSqlDatabase& db) {
                if (oneTransaction)
                    db.transaction();
                for (const QString& s : statements) {
                    QSqlQuery q(db);
                    if (!q.exec(Dialect(Dialect::Backend::Postgres).Sql(s))) {
                        error = q.lastError().text() + QStringLiteral(" in: ") + s;
                        break;
                    }
                }
                if (oneTransaction && error.isEmpty() && !db.commit())
                    error = db.lastError().text();
            },
            &error);
        return error;
    }

    QVariant Scalar(const QString& database, const QString& sql) const
    {
        QVariant value;
        WithConnection(database, [&](QSqlDatabase& db) {
            QSqlQuery q(db);
            if (q.exec(Dialect(Dialect::Backend::Postgres).Sql(sql)) && q.next())
                value = q.value(0);
        });
        return value;
    }

    // Stops the server, ending every connection, and starts it again on the
    // same port.
    bool Restart()
    {
        return Run(m_stopArgs, m_bin + QStringLiteral("/pg_ctl"),
                   {QStringLiteral("-D"), m_data, QStringLiteral("-l"),
                    m_dir.filePath(QStringLiteral("log")), QStringLiteral("-m"),
                    QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("restart")});
    }

    // Stops the server, ending every connection; Start() starts it again on
    // the same port.
    bool Stop()
    {
        return Run(m_stopArgs, m_bin + QStringLiteral("/pg_ctl"),
                   {QStringLiteral("-D"), m_data, QStringLiteral("-m"), QStringLiteral("fast"),
                    QStringLiteral("-w"), QStringLiteral("stop")});
    }
    bool Start() { return Run(m_stopArgs, m_bin + QStringLiteral("/pg_ctl"), StartArguments()); }

    // A new empty database; its name.
    QString CreateDatabase()
    {
        const QString name = QStringLiteral("zq_%1").arg(++m_databases);
        const QString error =
            Exec(QStringLiteral("postgres"), {QStringLiteral("CREATE DATABASE %1").arg(name)});
        return error.isEmpty() ? name : QString();
    }

private:
    explicit Server(const QString& messages = {}) : m_messages(messages)
    {
        if (!m_dir.isValid()) {
            m_error = QStringLiteral("no temporary folder");
            return;
        }
        if (!messages.isEmpty() && !HasLocale(messages)) {
            m_error = QStringLiteral("the locale %1 is missing (scripts/install-deps.sh makes it)")
                          .arg(messages);
            return;
        }
        const QString bin = BinDir();
        const bool root = ::geteuid() == 0;
        QStringList runAs;
        if (root) {
            const passwd* pw = ::getpwnam("postgres");
            if (!pw) {
                m_error = QStringLiteral("no postgres user");
                return;
            }
            if (::chown(QFile::encodeName(m_dir.path()).constData(), pw->pw_uid, pw->pw_gid) != 0) {
                m_error = QStringLiteral("cannot hand the folder to postgres");
                return;
            }
            runAs = {QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("postgres"),
                     QStringLiteral("--")};
        }
        const QString data = m_dir.filePath(QStringLiteral("data"));
        if (!Run(runAs, bin + QStringLiteral("/initdb"),
                 {QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("postgres"),
                  QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
                  QStringLiteral("UTF8"), QStringLiteral("--no-locale")}))
            return;
        QFile hba(data + QStringLiteral("/pg_hba.conf"));
        if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            m_error = QStringLiteral("cannot write pg_hba.conf");
            return;
        }
        hba.write(QStringLiteral("local all all trust\n"
                                 "host all %1 127.0.0.1/32 scram-sha-256\n"
                                 "host all all 127.0.0.1/32 trust\n")
                      .arg(QLatin1String(kPasswordRole))
                      .toUtf8());
        hba.close();
        m_stopArgs = runAs;
        m_data = data;
        m_bin = bin;
        // Another program may take the free port before the server binds it;
        // then another port.
        const QString log = m_dir.filePath(QStringLiteral("log"));
        for (int attempt = 0; attempt < 3 && !m_running; ++attempt) {
            m_port = FreePort();
            m_running = Run(runAs, bin + QStringLiteral("/pg_ctl"), StartArguments());
        }
        if (!m_running) {
            QFile logFile(log);
            if (logFile.open(QIODevice::ReadOnly))
                m_error += QStringLiteral("\nserver log:\n") +
                           QString::fromLocal8Bit(logFile.readAll().right(2000));
            return;
        }
        m_error = Exec(QStringLiteral("postgres"),
                       {QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'")
                            .arg(QLatin1String(kPasswordRole), QLatin1String(kPassword))});
        if (!m_error.isEmpty())
            m_running = false;
    }

    ~Server()
    {
        // Late in the program's end, without an event loop: a plain child.
        if (m_data.isEmpty())
            return;
        QStringList all = m_stopArgs;
        all << m_bin + QStringLiteral("/pg_ctl") << QStringLiteral("-D") << m_data
            << QStringLiteral("-m") << QStringLiteral("fast") << QStringLiteral("-s")
            << QStringLiteral("stop");
        QList<QByteArray> bytes;
        for (const QString& a : all)
            bytes << QFile::encodeName(a);
        std::vector<char*> argv;
        for (QByteArray& b : bytes)
            argv.push_back(b.data());
        argv.push_back(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        int status = 0;
        if (child > 0)
            ::waitpid(child, &status, 0);
    }

    QStringList StartArguments() const
    {
        return {QStringLiteral("-D"),
                m_data,
                QStringLiteral("-l"),
                m_dir.filePath(QStringLiteral("log")),
                QStringLiteral("-w"),
                QStringLiteral("-o"),
                QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off%3")
                    .arg(m_port)
                    .arg(m_dir.path(), m_messages.isEmpty()
                                           ? QString()
                                           : QStringLiteral(" -c lc_messages=") + m_messages),
                QStringLiteral("start")};
    }

    // Whether the system has the locale, generating it where it may.
    static bool HasLocale(const QString& name)
    {
        const auto listed = [&] {
            QProcess list;
            list.start(QStringLiteral("locale"), {QStringLiteral("-a")});
            list.waitForFinished(10000);
            const QString all = QString::fromLocal8Bit(list.readAllStandardOutput()).toLower();
            return all.split(QLatin1Char('\n'))
                .contains(QString(name).toLower().remove(QLatin1Char('-')));
        };
        if (listed())
            return true;
        if (::geteuid() != 0)
            return false;
        const QStringList parts = name.split(QLatin1Char('.'));
        QProcess::execute(QStringLiteral("localedef"), {QStringLiteral("-i"), parts.first(),
                                                        QStringLiteral("-f"), parts.last(), name});
        return listed();
    }

    static QString BinDir()
    {
        QProcess config;
        config.start(QStringLiteral("pg_config"), {QStringLiteral("--bindir")});
        if (config.waitForFinished(10000) && config.exitCode() == 0) {
            const QString dir = QString::fromLocal8Bit(config.readAllStandardOutput()).trimmed();
            if (QFile::exists(dir + QStringLiteral("/initdb")))
                return dir;
        }
        const QDir versions(QStringLiteral("/usr/lib/postgresql"));
        const QStringList found =
            versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
        return found.isEmpty() ? QString()
                               : versions.filePath(found.first() + QStringLiteral("/bin"));
    }

    bool Run(const QStringList& runAs, const QString& program, const QStringList& arguments)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        QStringList all = runAs;
        all << program << arguments;
        p.start(all.takeFirst(), all);
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0) {
            m_error = program + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll());
            return false;
        }
        return true;
    }

    template <typename F>
    void WithConnection(const QString& database, F work, QString* error = nullptr) const
    {
        static int counter = 0;
        const QString name = QStringLiteral("testpg-%1").arg(++counter);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(QStringLiteral("127.0.0.1"));
            db.setPort(m_port);
            db.setDatabaseName(database);
            db.setUserName(QStringLiteral("postgres"));
            if (db.open())
                work(db);
            else if (error)
                *error = db.lastError().text();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/zq-pg-XXXXXX")};
    QString m_messages; // the server's lc_messages, when not the default
    QStringList m_stopArgs;
    QString m_data;
    QString m_bin;
    QString m_error;
    int m_port = 0;
    int m_databases = 0;
    bool m_running = false;
};

} // namespace testpg
