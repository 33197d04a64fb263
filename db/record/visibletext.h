#pragma once

// Control characters in names, which are shown on one line of a list: tab,
// line feed, NUL and the rest of C0, DEL, C1, and the line and paragraph
// separators U+2028 and U+2029; and the invisible ones that would make a name
// look like another: the bidirectional embeddings, overrides and isolates
// U+202A to U+202E and U+2066 to U+2069, the zero-width characters U+200B to
// U+200D and U+2060, and U+FEFF. New names may not hold them; names another
// program stored with them are shown escaped.

#include <QByteArrayView>
#include <QString>

bool HasControlCharacter(QStringView text);
// The same for UTF-8 bytes, without decoding them.
bool HasControlCharacterUtf8(QByteArrayView text);

// The text with each control character written visibly: \t, \n and \r, other
// characters below U+0100 as \xHH (NUL as \x00), the separators as \u2028
// and \u2029 and the other invisible ones alike (\u202e). Everything else, a
// backslash too, stays as it is.
QString VisibleText(const QString& text);
