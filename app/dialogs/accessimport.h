#pragma once

#include <QString>

class MessageSink;
class QWidget;
class ShellUi;

struct AccessConversion
{
    enum Outcome
    {
        Declined,  // the user said no or chose no file: nothing was done
        Failed,    // nothing was created; the reason has been shown
        Converted, // the new database is at path
    };
    Outcome outcome = Declined;
    QString path;
};

// Offers to copy the events and users of the Access database at accessPath
// into a new ZQreader database: asks, asks where (OLD.db beside it by
// default), and converts with a progress window.
AccessConversion ConvertAccessDatabase(QWidget* parent, ShellUi& ui, MessageSink* messages,
                                       const QString& accessPath);
