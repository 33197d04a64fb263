// Any bytes as the CSV of a users import. The reader never crashes and
// accounts for every record: each becomes a period or a fault that names its
// line. What it reads is written back and read again unchanged, both as plain
// records and as periods.

#include "db/record/users.h"
#include "formats/csv.h"
#include "formats/userscsv.h"
#include "tests/fuzz/fuzzsetup.h"

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void broken(const char* what)
{
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzsetup::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    const CsvDocument doc = ParseCsv(bytes);
    int lastLine = 0;
    for (const CsvRecord& record : doc.records) {
        if (record.line <= lastLine)
            broken("records out of line order");
        lastLine = record.line;
    }
    for (const CsvError& error : doc.errors) {
        if (error.line < 1 || error.message.isEmpty())
            broken("an error without its line or reason");
    }

    // Records written back read again as the same fields.
    std::string written;
    for (const CsvRecord& record : doc.records)
        AppendCsvRecord(written, record.fields);
    const CsvDocument again = ParseCsv(QByteArrayView(written.data(), qsizetype(written.size())));
    if (!again.errors.isEmpty() || again.records.size() != doc.records.size())
        broken("written records do not read back");
    for (qsizetype i = 0; i < doc.records.size(); ++i) {
        if (again.records.at(i).fields != doc.records.at(i).fields)
            broken("a written record reads back changed");
    }

    // The periods read are stored as they are: written and read again, the
    // same, without a fault, names guarded against formulas or not.
    for (const CsvText names : {CsvText::Guarded, CsvText::Raw}) {
        const users::CsvRows rows = users::FromCsv(bytes, names);
        for (const QString& fault : rows.faults) {
            if (!fault.startsWith(QLatin1String("line ")))
                broken("a fault that does not name its line");
        }
        const users::CsvRows back = users::FromCsv(users::ToCsv(rows.periods, names), names);
        if (!back.faults.isEmpty() || back.periods != rows.periods)
            broken("periods do not survive being written and read");
    }
    return 0;
}
