#pragma once

#include <QSqlQuery>
#include <QString>
#include <QStringList>

class CDatabase;

// A forward cursor over the rows of one SELECT, in the manner of a classic
// recordset: Open runs the statement and makes the first row current, the
// field members of the derived class hold the current row's values.
// Errors are thrown as CDBException.
class CRecordset
{
public:
    enum OpenType
    {
        dynaset = 0,
        useDefaultType = -1,
    };

    explicit CRecordset(CDatabase* pDatabase);
    virtual ~CRecordset();
    CRecordset(const CRecordset&) = delete;
    CRecordset& operator=(const CRecordset&) = delete;

    // The connection string, built from the current database path.
    virtual QString GetDefaultConnect() const;
    // The table or join the set reads.
    virtual QString GetDefaultSQL() const = 0;

    // Connects the database first when it is not connected (to the current
    // database path). Afterwards the first row is current, or IsBOF() and
    // IsEOF() are both true when there is none.
    void Open(int nOpenType = useDefaultType);
    bool IsOpen() const { return m_bOpen; }
    bool IsBOF() const { return m_bBOF; }
    bool IsEOF() const { return m_bEOF; }
    void MoveFirst();
    void MoveNext();
    // Runs the statement again with the current sort; the first row is current.
    void Requery();
    virtual void Close();

    CDatabase* GetDatabase() const { return m_pDatabase; }

    QString m_strSort;
    int m_nFields = 0;
    int m_nDefaultType = dynaset;

protected:
    // The SELECT list, in binding order.
    virtual QStringList BoundColumns() const = 0;
    // Copies the current row (columns in binding order) into the members.
    virtual void DoFieldExchange(const QSqlQuery& row) = 0;

    QString SelectStatement() const;
    void RequireOpen(const char* operation) const;
    void Fetch();

    CDatabase* m_pDatabase;

private:
    QSqlQuery m_query;
    bool m_bOpen = false;
    bool m_bBOF = true;
    bool m_bEOF = true;
};
