#pragma once

// What every fuzz target needs once per process: the process set up as the
// programs set it up, the Qt application object, UTC as the local zone (no
// repeated hours, so stored dates convert back exactly) and a scratch folder,
// in memory when the machine has one.

#include "db/backend/processsetup.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace fuzzsetup {

inline void initialize(int* argc, char*** argv)
{
    SetUpProcess();
    qputenv("TZ", "UTC");
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.warning=false");
    static QCoreApplication app(*argc, *argv);
}

inline const QTemporaryDir& scratch()
{
    static const std::unique_ptr<QTemporaryDir> dir = [] {
        const QString shm = QStringLiteral("/dev/shm");
        auto d = QDir(shm).exists()
                     ? std::make_unique<QTemporaryDir>(shm + QStringLiteral("/zqfuzz-XXXXXX"))
                     : std::make_unique<QTemporaryDir>();
        if (!d->isValid()) {
            std::fprintf(stderr, "no scratch folder\n");
            std::abort();
        }
        return d;
    }();
    return *dir;
}

// Stops the run with a message: an invariant of the program was broken.
[[noreturn]] inline void fail(const char* what, const QString& detail = {})
{
    std::fprintf(stderr, "broken: %s %s\n", what, qUtf8Printable(detail));
    std::abort();
}

} // namespace fuzzsetup
