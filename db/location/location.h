#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Where a database is, as the user named it: a file path, a server URI
// "postgresql://[user@]host[:port]/dbname[?options]" or "odbc:<source>".
// Parsed once where a name enters the program (command line, dialog, recent
// files, settings), then passed inward as it is: a file path is made absolute
// then, and its native bytes and the name shown for it are worked out once.
//
// A password never leaves this value through Shown(), Title() or Kept(); a
// password typed during the run is remembered in memory only (see
// RememberPassword) so that every connection opened later to the same
// location finds it.
class Location
{
public:
    enum class Kind
    {
        None,   // nothing named
        File,   // an SQLite file
        Access, // an .mdb/.accdb file
        Server, // PostgreSQL
        Odbc,
        Invalid, // a URI that cannot be understood; Error() says why
    };

    Location() = default;
    static Location Parse(const QString& text);
    // A name that can only be a file (a file dialog's), made absolute.
    static Location FromFile(const QString& path);
    static Location ForServer(const QString& host, int port, const QString& database,
                              const QString& user);

    Kind GetKind() const { return m_kind; }
    bool IsFile() const { return m_kind == Kind::File || m_kind == Kind::Access; }
    bool IsServer() const { return m_kind == Kind::Server; }
    QString Error() const { return m_error; }

    // File and ODBC kinds: the path (absolute for files) or the source.
    const QString& Path() const { return m_path; }
    // The file that holds the database: this location for a file, the file
    // an ODBC source names; none for a server.
    Location File() const;
    // File and ODBC kinds: the path as the bytes the system names the file by
    // (see nativename.h).
    const QByteArray& NativeName() const { return m_native; }
    QString Host() const { return m_host; } // empty: the local socket
    int Port() const { return m_port; }     // -1: the default
    QString Database() const { return m_database; }
    QString User() const { return m_user; }
    QString Password() const { return m_password; }
    // Further connection keywords for the server's client library, as
    // "key='value'" pairs separated by ';' (options, sslmode, ...).
    QString ConnectOptions() const;

    // How messages name it: the file name as shown, "dbname on host", the
    // ODBC source, or an address that cannot be understood as it was typed;
    // each without any password (see WithoutPasswords).
    const QString& Shown() const { return m_shown; }
    // What the window title shows: the file name, or "dbname on host".
    QString Title() const;
    // What the recent-file list and the settings keep: the path, or the URI
    // without any password. Parse(Kept()) gives this location back.
    QString Kept() const;
    // What opens this location again, given to Parse: the file path, the ODBC
    // source as it was given (a password in it too), or Kept() for a server
    // (whose password is remembered, see RememberPassword).
    QString Text() const;

    void SetPassword(const QString& password) { m_password = password; }

    friend bool operator==(const Location& a, const Location& b) { return a.Kept() == b.Kept(); }

private:
    static Location parseServer(const QString& text);
    // Works out what is derived from the parts: the native name, the shown name.
    Location& finish();

    Kind m_kind = Kind::None;
    QString m_error;
    QString m_path;
    QString m_host;
    int m_port = -1;
    QString m_database;
    QString m_user;
    QString m_password;
    QString m_typed; // an address that cannot be understood, without passwords
    QByteArray m_native;
    QString m_shown;
    QList<QPair<QString, QString>> m_params;  // further URI parameters, in order
    QList<QPair<QString, QString>> m_secrets; // such parameters never kept nor shown
};

// Takes every password out of a text that may name a location, as typed or
// as a driver echoes it: the password of a URI's user information (one that
// holds '@', spaces or quotes too), parameters whose name holds "password"
// (in any case and percent-encoding, "password%3D..." too) and the PWD=
// entries of an ODBC connection string, each up to its separator. Where a
// password's end cannot be told, more goes rather than less; the rest of the
// text stays as it was.
QString WithoutPasswords(const QString& text);

// How every message and log line names a location given as text, whether it
// can be understood or not: Location::Parse(text).Shown().
QString ShownLocation(const QString& text);

// Keeps a password for the rest of the run (never on disk): Parse() of the
// same location gives it back.
void RememberPassword(const Location& location);
