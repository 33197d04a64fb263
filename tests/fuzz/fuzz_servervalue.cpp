// Any bytes as the text of a column a PostgreSQL server sends, of any type
// the PostgreSQL backend converts (the last byte picks it). The conversion never crashes
// and gives the column's type; a date, time or number it reads, bound again,
// is sent as a text that reads back as the same value.

#include "db/backend/pgvalue.h"
#include "tests/fuzz/fuzzinput.h"
#include "tests/fuzz/fuzzsetup.h"

#include <QDateTime>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void broken(const char* what)
{
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

// bool, bytea, int8, int2, int4, text, float4, float8, date, time,
// timestamp, timestamptz, timetz, numeric
constexpr PgTypeId kTypes[] = {16,  17,   20,   21,   23,   25,   700,
                               701, 1082, 1083, 1114, 1184, 1266, 1700};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzsetup::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const PgTypeId type = kTypes[input.number<size_t>(0, std::size(kTypes) - 1)];
    const std::vector<char> bytes = input.bytes(input.remaining());
    // The client library ends every value with a NUL.
    const std::string text(bytes.begin(), bytes.end());

    const QVariant value = PgColumnValue(type, text.c_str(), int(text.size()));
    const QMetaType column = PgColumnType(type);
    const bool sameType = value.metaType() == column || (column.id() == QMetaType::LongLong &&
                                                         value.typeId() == QMetaType::ULongLong);
    if (!sameType)
        broken("a value not of its column's type");

    const bool readable =
        (value.typeId() == QMetaType::QDateTime && value.toDateTime().isValid()) ||
        (value.typeId() == QMetaType::QDate && value.toDate().isValid()) ||
        (value.typeId() == QMetaType::QTime && value.toTime().isValid()) ||
        value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong;
    if (readable && type != 1184 && type != 1266) {
        bool binary = false;
        const QByteArray sent = PgParameterText(value, &binary);
        const QVariant back = PgColumnValue(type, sent.constData(), int(sent.size()));
        if (binary || back != value)
            broken("a value bound again does not read back the same");
    }
    return 0;
}
