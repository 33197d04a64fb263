// Linked into every test program: the process is set up as the programs set
// it up (see db/backend/processsetup.h), before main runs and before
// anything uses SQLite, so that the tests run what ships.

#include "db/backend/processsetup.h"

namespace {

const bool kSetUp = (SetUpProcess(), true);

} // namespace
