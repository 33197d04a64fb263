#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// File names on this system are bytes, which Qt decodes as UTF-8 and encodes
// back as UTF-8: a name that is not UTF-8 comes back as another name. These
// keep every byte: each byte of a name that does not decode is held as one
// character of the private-use range U+F780..U+F7FF (byte 0x80..0xFF plus
// 0xF700), and a name that holds such characters as UTF-8 has them escaped
// the same way, so decoding and encoding give back the very bytes. Private-use
// characters rather than lone surrogates, because Qt's own path handling
// (QDir::cleanPath, QFileInfo, the settings store) keeps them.
//
// Names that are valid UTF-8 (and do not use that range) decode exactly as Qt
// decodes them. Qt's own file functions must not be given an escaped name:
// what is done on such files goes through the functions of the files that
// include this header.
QString DecodeFileName(const QByteArray& bytes);
QByteArray EncodeFileName(const QString& name);

// The program's arguments, decoded as file names.
QStringList DecodeArguments(int argc, const char* const* argv);

// The arguments Qt decoded (QCoreApplication::arguments(), Qt's own options
// taken out), with the exact bytes the program was given where Qt lost some.
QStringList ExactArguments(const QStringList& decodedByQt);

// The name as shown to the user: native separators, and U+FFFD for each byte
// that is not UTF-8.
QString ShownFileName(const QString& name);

// The file name made absolute against the current directory (not following
// links), cleaned.
QString AbsolutePath(const QString& name);

// The same for a name that may be a database location: anything that is not a
// file location (see Location) is returned as it is.
QString AbsoluteFileName(const QString& name);

// A "file:" URI for SQLite (opened with URIs enabled) naming exactly this
// file, given by name or by its native bytes.
QString SqliteFileUri(const QString& name);
QString SqliteNativeUri(const QByteArray& bytes);
