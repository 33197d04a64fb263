#include "formats/accessmdbtools.h"

#include "db/backend/dbexception.h"
#include "db/location/nativename.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

constexpr char kDateFormat[] = "%Y-%m-%d %H:%M:%S";

QString toolMissing(const QString& program)
{
    return QStringLiteral("The program %1 is not installed (package mdbtools); it is needed to "
                          "read Access databases.")
        .arg(program);
}

void startTool(QProcess& process, const QString& program, const QStringList& args)
{
    // Numbers are written in the C locale's form whatever the user's is.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(env);
    process.setProgram(program);
    process.setArguments(args);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        throw CDBException(toolMissing(QFileInfo(program).fileName()));
}

void checkFinished(QProcess& process, const QString& path)
{
    if (process.state() != QProcess::NotRunning)
        process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        QString why = QString::fromUtf8(process.readAllStandardError()).trimmed();
        if (why.isEmpty())
            why = QStringLiteral("exit status %1").arg(process.exitCode());
        throw CDBException(
            QStringLiteral("%1 cannot read the Access database \"%2\": %3")
                .arg(QFileInfo(process.program()).fileName(), ShownFileName(path), why));
    }
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

MdbToolsSource::MdbToolsSource(const QString& path, const QString& toolDir)
    : m_path(path), m_toolDir(toolDir)
{
}

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
    QProcess process;
    startTool(process, Program(name), args);
    process.waitForFinished(-1);
    checkFinished(process, m_path);
    return process.readAllStandardOutput();
}

QStringList MdbToolsSource::Tables()
{
    QStringList tables;
    for (const QByteArray& line : Run("mdb-tables", {QStringLiteral("-1"), m_path}).split('\n')) {
        if (!line.isEmpty())
            tables << QString::fromUtf8(line);
    }
    return tables;
}

QVector<AccessColumn> MdbToolsSource::Columns(const QString& table)
{
    const QString schema = QString::fromUtf8(
        Run("mdb-schema", {QStringLiteral("-T"), table, QStringLiteral("--no-drop-table"),
                           QStringLiteral("--no-not-null"), QStringLiteral("--no-default-values"),
                           QStringLiteral("--no-not_empty"), QStringLiteral("--no-comments"),
                           QStringLiteral("--no-indexes"), QStringLiteral("--no-relations"), m_path,
                           QStringLiteral("access")}));
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

qint64 MdbToolsSource::RowCount(const QString& table)
{
    bool ok = false;
    const qint64 n = Run("mdb-count", {m_path, table}).trimmed().toLongLong(&ok);
    return ok ? n : -1;
}

void MdbToolsSource::ReadRows(const QString& table,
                              const std::function<bool(const AccessRow&)>& onRow)
{
    QProcess process;
    process.setReadChannel(QProcess::StandardOutput);
    startTool(process, Program("mdb-export"),
              {QStringLiteral("-H"), QStringLiteral("-q"), QStringLiteral("\""),
               QStringLiteral("-X"), QStringLiteral("\\"), QStringLiteral("-D"),
               QLatin1String(kDateFormat), QStringLiteral("-T"), QLatin1String(kDateFormat),
               QStringLiteral("-b"), QStringLiteral("strip"), m_path, table});
    MdbExportParser parser(onRow);
    for (;;) {
        const bool more = process.waitForReadyRead(-1);
        if (!parser.Feed(process.readAllStandardOutput())) {
            process.kill();
            process.waitForFinished(-1);
            return;
        }
        if (!more)
            break;
    }
    checkFinished(process, m_path);
    parser.Finish();
}

MdbExportParser::MdbExportParser(std::function<bool(const AccessRow&)> onRow)
    : m_onRow(std::move(onRow))
{
}

bool MdbExportParser::Feed(QByteArrayView bytes)
{
    for (const char c : bytes) {
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
        throw CDBException(QStringLiteral("The output of mdb-export ended in the middle of row %1.")
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
    const bool go = m_onRow(m_row);
    m_row.clear();
    return go;
}
