#pragma once

#include "platform/filestatus.h"

struct stat;

namespace platform {

// The status the system filled in.
FileStatus StatusFrom(const struct stat& st);
// The same when result, the call's, is 0; otherwise the call's failure.
FileStatus StatusOrError(int result, const struct stat& st);

} // namespace platform
