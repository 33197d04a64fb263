// Small things the simulator's line loop, its line ends and its commands share.
#pragma once

#include <QString>
#include <QtGlobal>

namespace zqsim {

// A line on standard error, at once.
void say(const QString& text);
// "what: the system's words for errno".
QString errnoText(const char* what);
// The descriptor is not passed on to programs started later.
void setCloseOnExec(int fd);
// value in hexadecimal with at least digits digits: 0x00ABCD.
QString hex(quint32 value, int digits);

} // namespace zqsim
