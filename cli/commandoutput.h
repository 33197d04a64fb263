#pragma once

#include "db/location/location.h"
#include "db/location/stagedfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Where a command writes what it makes: the file --output names, or standard
// output. A file is written beside its target and moved over it only when
// complete, so that a failure leaves what was there; the null device takes
// nothing and fails never. Every failure is told on standard error, once.
class CommandOutput
{
public:
    // An empty name: standard output.
    explicit CommandOutput(const QString& file);

    bool ToFile() const { return !m_file.isEmpty(); }

    // False, having told why, when writing would overwrite the database db
    // while it is read.
    bool SpareInput(const Location& db) const;
    // Starts the file; false, having told why, when it cannot be written.
    bool Open();
    // Adds bytes; throws CDBException with the message when they cannot be
    // written, not yet told.
    void Append(QByteArrayView bytes);
    // Ends the output: the file moved into place, standard output flushed.
    // False, having told why, when that fails.
    bool Finish();

    // Open(), Append() and Finish() at once.
    bool Write(const QByteArray& bytes);

private:
    QString m_file;
    QString m_shown;
    StagedFile m_staged;
    bool m_nullDevice = false;
};

// Standard output, the one way every command prints there (never printf).
// Each write, the flush and the close at the end are checked: after the
// first failure nothing more is written, and the failure ("Cannot write to
// standard output: No space left on device") is told on standard error once.

// Writes the bytes; false when standard output has failed, now or before
// (told by the next flush or by CloseStandardOutput).
bool WriteStandardOutput(QByteArrayView bytes);
// The line and a line break, in UTF-8.
bool PrintLine(const QString& line);
// Flushes standard output: what is still buffered may fail too, on a full
// disk. False, having told why, when it does or did before.
bool FlushStandardOutput();
// Ends standard output at the end of the program: flushed and closed. The
// exit status to end with: status, or failed (1) when a command that did its
// job lost what it printed.
int CloseStandardOutput(int status);
