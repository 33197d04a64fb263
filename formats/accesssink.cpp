// The new database file a conversion fills: a copy of the template written
// beside the target, filled in one transaction, checked, and only then moved
// over the target.

#include "db/backend/dbexception.h"
#include "db/location/dbfile.h"
#include "db/location/nativename.h"
#include "db/location/stagedfile.h"
#include "db/record/database.h"
#include "db/record/dbtemplate.h"
#include "db/record/preparedquery.h"
#include "formats/accessimport.h"

namespace {

class FileSink : public ImportSink
{
public:
    explicit FileSink(const Location& target) : m_target(target), m_staged(target.Path()) {}

    ~FileSink() override
    {
        m_users = PreparedQuery();
        m_events = PreparedQuery();
        if (m_inTransaction)
            m_db.Rollback();
        m_db.Close();
        // m_staged removes the written copy.
    }

    void Begin() override
    {
        const QString notAFile = NotRegularFileMessage(m_target);
        if (!notAFile.isEmpty())
            throw CDBException(notAFile);
        WriteTemplateCopy(m_staged, m_target.Shown());
        m_db.OpenFile(m_staged.WrittenName());
        m_db.BeginTrans();
        m_inTransaction = true;
        // INDEX is given: the AUTOINCREMENT sequence then goes on after the
        // largest, so new events are numbered after the converted ones.
        m_users = PreparedQuery(m_db, QStringLiteral("INSERT INTO [USERS] ([INDEX], [NAME], "
                                                     "[USER_NO], [DATE_START], [DATE_STOP]) "
                                                     "VALUES (?, ?, ?, ?, ?)"));
        m_events = PreparedQuery(m_db, QStringLiteral("INSERT INTO [EVENTS] ([INDEX], [TIMER], "
                                                      "[DATE], [USER_NO], [BUTTON]) VALUES (?, ?, "
                                                      "?, ?, ?)"));
    }

    void Add(ZqTable table, const ZqRow& row) override
    {
        PreparedQuery& insert = table == ZqTable::Users ? m_users : m_events;
        insert.Exec(QVariantList(row.begin(), row.end()));
    }

    void Finish() override
    {
        m_users = PreparedQuery();
        m_events = PreparedQuery();
        m_db.CommitTrans();
        m_inTransaction = false;
        m_db.CheckIntact();
        m_db.Close();
        if (!m_staged.Commit())
            throw CDBException(QStringLiteral("\"%1\" cannot be written: %2")
                                   .arg(m_target.Shown(), m_staged.ErrorString()));
    }

private:
    Location m_target;
    StagedFile m_staged;
    CDatabase m_db;
    PreparedQuery m_users;
    PreparedQuery m_events;
    bool m_inTransaction = false;
};

} // namespace

std::unique_ptr<ImportSink> NewDatabaseFileSink(const Location& target)
{
    return std::make_unique<FileSink>(target);
}

std::unique_ptr<ImportSink> NewDatabaseFileSink(const QString& path)
{
    return NewDatabaseFileSink(Location::FromFile(path));
}
