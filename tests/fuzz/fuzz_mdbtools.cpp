// Any bytes as what the mdbtools programs print: the table list, the schema,
// the row count and mdb-export's rows. The listings are read without failing
// and hold only what they can; the rows are a clear error or the same rows
// whether the bytes come at once or in pieces, and rows written back in
// mdb-export's form read again unchanged.

#include "db/backend/dbexception.h"
#include "formats/accessmdbtools.h"
#include "tests/fuzz/fuzzinput.h"
#include "tests/fuzz/fuzzsetup.h"

namespace {

struct Parsed
{
    QVector<AccessRow> rows;
    QString error;
};

Parsed parseRows(QByteArrayView bytes, qsizetype piece)
{
    Parsed parsed;
    MdbExportParser parser([&](const AccessRow& row) {
        parsed.rows.append(row);
        return true;
    });
    try {
        for (qsizetype at = 0; at < bytes.size(); at += piece)
            parser.Feed(bytes.sliced(at, std::min(piece, bytes.size() - at)));
        parser.Finish();
    } catch (const CDBException& e) {
        parsed.error = e.m_strError;
        if (parsed.error.isEmpty())
            fuzzsetup::fail("an error without a reason");
    }
    return parsed;
}

// Rows as mdb-export writes them with the options MdbToolsSource gives it.
QByteArray written(const QVector<AccessRow>& rows)
{
    QByteArray out;
    for (const AccessRow& row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                out += ',';
            if (row.at(i).isNull())
                continue;
            out += '"';
            for (const char c : row.at(i).toUtf8()) {
                if (c == '"' || c == '\\')
                    out += '\\';
                out += c;
            }
            out += '"';
        }
        out += '\n';
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzsetup::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const qsizetype piece = input.number<qsizetype>(1, 64);
    const std::vector<char> front = input.bytes(input.remaining());
    const QByteArrayView bytes(front.data(), qsizetype(front.size()));

    for (const QString& table : ParseMdbTables(bytes)) {
        if (table.isEmpty() || table.contains(u'\n'))
            fuzzsetup::fail("a table name that is no line", table);
    }
    for (const AccessColumn& column : ParseMdbSchema(bytes)) {
        if (column.name.contains(u']') || column.name.contains(u'\n') ||
            column.type != AccessTypeFromName(column.typeName))
            fuzzsetup::fail("a column that is not as printed", column.name);
    }
    if (ParseMdbCount(bytes) < -1)
        fuzzsetup::fail("a negative row count");

    const Parsed whole = parseRows(bytes, qMax<qsizetype>(bytes.size(), 1));
    const Parsed pieces = parseRows(bytes, piece);
    if (whole.rows != pieces.rows || whole.error != pieces.error)
        fuzzsetup::fail("the rows depend on how the bytes come");
    for (const AccessRow& row : whole.rows) {
        if (row.isEmpty())
            fuzzsetup::fail("a row without values");
    }
    if (whole.error.isEmpty()) {
        const Parsed again = parseRows(written(whole.rows), 7);
        if (!again.error.isEmpty() || again.rows != whole.rows)
            fuzzsetup::fail("written rows do not read back", again.error);
    }
    return 0;
}
