#pragma once

#include "platform/filestatus.h"

#include <QByteArray>
#include <QList>

// The program's own process: its standard streams, its folders, its arguments
// as the system gave them and how it takes the system's signals.
namespace platform {

enum class StandardStream
{
    Input,
    Output,
    Error,
};

// Whether the stream is a terminal, a person watching it.
bool IsTerminal(StandardStream stream);
// What the stream is open to.
FileStatus StatusOf(StandardStream stream);

// The current folder by its exact bytes; empty when the system tells none.
QByteArray CurrentFolder();
// The program's file by its exact bytes; empty where the system does not
// tell it.
QByteArray ProgramFile();
// The arguments the program was started with by their exact bytes, its own
// name first; empty where the system does not tell them.
QList<QByteArray> ProgramArguments();

// A write beyond the file size limit fails with an error the database reports
// instead of ending the program.
void IgnoreFileSizeSignal();

} // namespace platform
