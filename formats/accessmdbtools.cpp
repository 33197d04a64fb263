#include "formats/accessmdbtools.h"

#include "db/backend/dbexception.h"
#include "db/location/nativename.h"
#include "platform/filenames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>

namespace {

constexpr char kDateFormat[] = "%Y-%m-%d %H:%M:%S";

QString toolMissing(const QString& program)
{
    return QStringLiteral("The program %1 is not installed (package mdbtools); it is needed to "
                          "read Access databases.")
        .arg(program);
}

QProcessEnvironment toolEnvironment()
{
    // Numbers are written in the C locale's form whatever the user's is.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    return env;
}

qint64 limitFromEnvironment(const char* name, qint64 otherwise)
{
    bool ok = false;
    const qint64 value = qEnvironmentVariable(name).toLongLong(&ok);
    return ok && value > 0 ? value : otherwise;
}

} // namespace

AccessType AccessTypeFromName(QStringView name)
{
    static const struct
    {
        const char* name;
        AccessType type;
    } kTypes[] = {{"Boolean", AccessType::Boolean},
                  {"Byte", AccessType::Byte},
                  {"Integer", AccessType::Integer},
                  {"Long Integer", AccessType::LongInteger},
                  {"Currency", AccessType::Currency},
                  {"Single", AccessType::Single},
                  {"Double", AccessType::Double},
                  {"DateTime", AccessType::DateTime},
                  {"Binary", AccessType::Binary},
                  {"Text", AccessType::Text},
                  {"OLE", AccessType::Ole},
                  {"Memo/Hyperlink", AccessType::Memo},
                  {"Replication ID", AccessType::ReplicationId},
                  {"Numeric", AccessType::Numeric}};
    // "Text (50)": the size does not change the kind.
    const qsizetype paren = name.indexOf(u'(');
    const QStringView base = (paren < 0 ? name : name.left(paren)).trimmed();
    for (const auto& t : kTypes) {
        if (base.compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0)
            return t.type;
    }
    return AccessType::Other;
}

ToolLimits MdbToolLimits(qint64 fileSize, bool exporting)
{
    constexpr qint64 kMiB = qint64(1) << 20;
    constexpr qint64 kTextPerFileByte = 32;
    bool ok = false;
    const double quietSeconds = qEnvironmentVariable("ZQ_MDBTOOLS_QUIET_SECONDS").toDouble(&ok);
    ToolLimits limits;
    limits.quietMs =
        ok && quietSeconds > 0 && quietSeconds < 1e6 ? int(quietSeconds * 1000) : 120000;
    limits.errorBytes = limitFromEnvironment("ZQ_MDBTOOLS_ERROR_BYTES", kMiB);
    const qint64 output = exporting ? std::max(16 * kMiB, kTextPerFileByte * fileSize) : 16 * kMiB;
    limits.outputBytes = limitFromEnvironment("ZQ_MDBTOOLS_OUTPUT_BYTES", output);
    return limits;
}

MdbToolsSource::MdbToolsSource(const QString& path, const QString& toolDir)
    : m_path(path), m_toolDir(toolDir), m_toolPath(path)
{
    const QString absolute = AbsoluteFileName(path);
    const QByteArray name = EncodeFileName(absolute);
    if (name != absolute.toUtf8()) {
        m_linkDir = std::make_unique<QTemporaryDir>();
        const QString link = m_linkDir->filePath(QStringLiteral("access.mdb"));
        const platform::SystemError failed = m_linkDir->isValid()
                                                 ? platform::AddSymbolicLink(name, link.toUtf8())
                                                 : platform::SystemError::Last();
        if (!m_linkDir->isValid() || failed)
            throw CDBException(QStringLiteral("A link to the Access database \"%1\" cannot be made "
                                              "for mdbtools: %2")
                                   .arg(ShownFileName(path), failed.Text()));
        m_toolPath = link;
    }
    // The size through the name the programs are given, which is always UTF-8.
    const qint64 size = QFileInfo(m_toolPath).size();
    m_limits = MdbToolLimits(size, false);
    m_exportLimits = MdbToolLimits(size, true);
}

MdbToolsSource::~MdbToolsSource() = default;

QString MdbToolsSource::Program(const char* name) const
{
    const QString program = QLatin1String(name);
    if (!m_toolDir.isEmpty())
        return QDir(m_toolDir).filePath(program);
    QString found = QStandardPaths::findExecutable(program);
    if (found.isEmpty())
        throw CDBException(toolMissing(program));
    return found;
}

QByteArray MdbToolsSource::Run(const char* name, const QStringList& args) const
{
    BoundedTool tool(Program(name), args, toolEnvironment(), m_limits);
    if (!tool.Started())
        throw CDBException(toolMissing(QLatin1String(name)));
    QByteArray out = tool.ReadAll();
    CheckEnded(tool, name);
    return out;
}

void MdbToolsSource::CheckEnded(const BoundedTool& tool, const char* name) const
{
    if (!tool.Stopped().isEmpty())
        throw CDBException(QStringLiteral("%1 was stopped while reading the Access database "
                                          "\"%2\": %3. The file may be damaged.")
                               .arg(QLatin1String(name), ShownFileName(m_path), tool.Stopped()));
    if (!tool.Succeeded())
        throw CDBException(QCoreApplication::translate(
                               "AccessImport", "%1 cannot read the Access database \"%2\": %3")
                               .arg(QLatin1String(name), ShownFileName(m_path), tool.Failure()));
}

QStringList ParseMdbTables(QByteArrayView out)
{
    QStringList tables;
    for (const QByteArray& line : out.toByteArray().split('\n')) {
        if (!line.isEmpty())
            tables << QString::fromUtf8(line);
    }
    return tables;
}

QVector<AccessColumn> ParseMdbSchema(QByteArrayView out)
{
    const QString schema = QString::fromUtf8(out);
    // Access names cannot hold brackets, so "[NAME]  TYPE," is unambiguous.
    static const QRegularExpression column(
        QStringLiteral("^\\s*\\[([^\\]]*)\\]\\s+(.*?)\\s*,?\\s*$"));
    QVector<AccessColumn> columns;
    bool inTable = false;
    for (const QString& line : schema.split(u'\n')) {
        if (line.startsWith(QLatin1String("CREATE TABLE ["))) {
            inTable = true;
        } else if (inTable && line.trimmed().startsWith(u')')) {
            break;
        } else if (inTable) {
            const QRegularExpressionMatch m = column.match(line);
            if (m.hasMatch())
                columns.append({m.captured(1), AccessTypeFromName(m.captured(2)), m.captured(2)});
        }
    }
    return columns;
}

qint64 ParseMdbCount(QByteArrayView out)
{
    bool ok = false;
    const qint64 n = out.trimmed().toLongLong(&ok);
    return ok && n >= 0 ? n : -1;
}

QStringList MdbToolsSource::Tables()
{
    return ParseMdbTables(Run("mdb-tables", {QStringLiteral("-1"), m_toolPath}));
}

QVector<AccessColumn> MdbToolsSource::Columns(const QString& table)
{
    return ParseMdbSchema(
        Run("mdb-schema", {QStringLiteral("-T"), table, QStringLiteral("--no-drop-table"),
                           QStringLiteral("--no-not-null"), QStringLiteral("--no-default-values"),
                           QStringLiteral("--no-not_empty"), QStringLiteral("--no-comments"),
                           QStringLiteral("--no-indexes"), QStringLiteral("--no-relations"),
                           m_toolPath, QStringLiteral("access")}));
}

qint64 MdbToolsSource::RowCount(const QString& table)
{
    return ParseMdbCount(Run("mdb-count", {m_toolPath, table}));
}

void MdbToolsSource::ReadRows(const QString& table,
                              const std::function<bool(const AccessRow&)>& onRow)
{
    BoundedTool tool(Program("mdb-export"),
                     {QStringLiteral("-H"), QStringLiteral("-q"), QStringLiteral("\""),
                      QStringLiteral("-X"), QStringLiteral("\\"), QStringLiteral("-D"),
                      QLatin1String(kDateFormat), QStringLiteral("-T"), QLatin1String(kDateFormat),
                      QStringLiteral("-b"), QStringLiteral("strip"), m_toolPath, table},
                     toolEnvironment(), m_exportLimits);
    if (!tool.Started())
        throw CDBException(toolMissing(QStringLiteral("mdb-export")));
    MdbExportParser parser(onRow, table);
    for (QByteArray part = tool.Read(); !part.isEmpty(); part = tool.Read()) {
        if (!parser.Feed(part))
            return; // the tool is killed on the way out
    }
    CheckEnded(tool, "mdb-export");
    parser.Finish();
}

MdbExportParser::MdbExportParser(std::function<bool(const AccessRow&)> onRow, QString table)
    : m_onRow(std::move(onRow)), m_table(std::move(table))
{
}

bool MdbExportParser::Feed(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (++m_rowBytes > kMostRowBytes)
            throw CDBException(
                QStringLiteral("mdb-export wrote more than %1 bytes for row %2%3 without ending "
                               "it; no row may be longer. The file may be damaged.")
                    .arg(kMostRowBytes)
                    .arg(m_rows + 1)
                    .arg(m_table.isEmpty()
                             ? QString()
                             : QCoreApplication::translate("AccessImport", " of table %1")
                                   .arg(m_table)));
        const bool inQuotes = m_state == State::Quoted || m_state == State::Escaped;
        if (!inQuotes && (c == ',' || c == '\n')) {
            EndField();
            m_state = State::FieldStart;
            if (c == '\n' && !EndRow())
                return false;
            continue;
        }
        switch (m_state) {
        case State::FieldStart:
            if (c == '"') {
                m_quoted = true;
                m_state = State::Quoted;
            } else {
                m_field += c;
                m_state = State::Bare;
            }
            break;
        case State::Bare:
            m_field += c;
            break;
        case State::Quoted:
            if (c == '\\')
                m_state = State::Escaped;
            else if (c == '"')
                m_state = State::AfterQuote;
            else
                m_field += c;
            break;
        case State::Escaped:
            m_field += c;
            m_state = State::Quoted;
            break;
        case State::AfterQuote:
            throw CDBException(
                QStringLiteral("mdb-export wrote something unexpected after a quoted value "
                               "in row %1.")
                    .arg(m_rows + 1));
        }
    }
    return true;
}

void MdbExportParser::Finish() const
{
    if (m_state != State::FieldStart || !m_row.isEmpty())
        throw CDBException(
            QCoreApplication::translate("AccessImport",
                                        "The output of mdb-export ended in the middle of row %1.")
                .arg(m_rows + 1));
}

void MdbExportParser::EndField()
{
    // A bare nothing is NULL; an empty text comes as "".
    if (m_field.isEmpty())
        m_row.append(m_quoted ? QStringLiteral("") : QString());
    else
        m_row.append(QString::fromUtf8(m_field));
    m_field.clear();
    m_quoted = false;
}

bool MdbExportParser::EndRow()
{
    ++m_rows;
    m_rowBytes = 0;
    const bool go = m_onRow(m_row);
    m_row.clear();
    return go;
}
