#pragma once

#include <QByteArray>
#include <QString>

struct BoundedRead
{
    QByteArray bytes;
    QString error; // why nothing was read; empty when bytes are the whole file
};

// Reads a file a person named, whole, when it is a regular file of at most
// maxBytes none of whose lines is longer than maxLine bytes. Anything else is
// refused without waiting or reading on: a folder, a FIFO, a device (such as
// an endless /dev/zero), a file too long. The name may hold bytes that are
// not UTF-8 (see nativename.h).
BoundedRead ReadBoundedFile(const QString& name, qint64 maxBytes, qint64 maxLine);
