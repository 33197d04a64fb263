#pragma once

#include "db/location/location.h"
#include "db/location/stagedfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Where a command writes what it makes: the file --output names, or standard
// output. A file is written beside its target and moved over it only when
// complete, so that a failure leaves what was there. Every failure is told on
// standard error, once.
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
};

// Flushes standard output: what is still buffered may fail too, on a full
// disk. False, having told why, when it does.
bool FlushStandardOutput();
