#pragma once

#include "platform/systemerror.h"

#include <QByteArray>

// Names given to files, moved and taken away, each change made at once or
// not at all; names are the system's bytes of a path. Each call tells why it
// failed, or no failure.
namespace platform {

// Moves the file from over to, replacing what is at to in one step: whoever
// opens to finds the file before or the file after, never neither.
SystemError MoveOver(const QByteArray& from, const QByteArray& to);
// A second name for the file at existing; refused when newName is taken.
SystemError AddHardLink(const QByteArray& existing, const QByteArray& newName);
// A symbolic link at linkName that points to target.
SystemError AddSymbolicLink(const QByteArray& target, const QByteArray& linkName);
// Takes the name away; the file goes with its last name.
SystemError RemoveName(const QByteArray& name);
// Puts the names in folder on disk, so that a file made or moved into it is
// found there after a crash.
void SyncFolder(const QByteArray& folder);

} // namespace platform
