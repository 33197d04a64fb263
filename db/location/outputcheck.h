#pragma once

#include "db/location/location.h"
#include "platform/filestatus.h"

#include <QByteArray>
#include <QString>

// Where a file written under the name lands, as native bytes (see
// nativename.h): every link followed, also a link to a file that does not
// exist yet (writing makes that file), and the folder resolved.
QByteArray OutputTarget(const QString& name);

// Why the file output must not be written while the file input is read: it
// is input itself (through links, or a hard link of it) or one of the files
// SQLite keeps beside a database (-journal, -wal, -shm). Empty when it may be
// written, and when input is no file (a server, an ODBC source).
QString OutputOverInputMessage(const QString& output, const Location& input);
QString OutputOverInputMessage(const Location& output, const Location& input);
QString OutputOverInputMessage(const QString& output, const QString& input); // input parsed here

// The same for what is open with the status opened, such as standard output
// sent to a file (platform::StatusOf(platform::StandardStream::Output)); shown
// names it in the message.
QString StreamOverInputMessage(const platform::FileStatus& opened, const QString& shown,
                               const Location& input);
