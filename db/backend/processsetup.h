#pragma once

// What every program does first, before anything else runs, so that the
// programs, their tests and the benchmarks all run as what ships:
// - A file size limit (ulimit -f) makes a write fail with EFBIG, which the
//   database reports ("File too large"), instead of SIGXFSZ ending the
//   program without a word: the signal is ignored.
// - SQLite's count of the memory it holds is off: kept behind one lock for
//   the whole process, it makes connections in different threads take turns
//   at every allocation (a report counted on two threads took as long as on
//   one). Nothing here sets a heap limit, which would need the count.
// SQLite takes the setting only before its first use anywhere in the
// process; a call after that is a fault of the program and ends it.
void SetUpProcess();
