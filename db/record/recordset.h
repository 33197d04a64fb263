#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class CDatabase;
class PreparedQuery;

// The values of one row, in binding order.
using RowValues = QVector<QVariant>;
RowValues ValuesOf(const PreparedQuery& query, int columns);

// A forward cursor over the rows of one SELECT, in the manner of a classic
// recordset: Open runs the statement and makes the first row current, the
// field members of the derived class hold the current row's values.
// Errors are thrown as CDBException.
//
// Rows are read a page at a time and the statement is finished after each
// page, so an open set holds no lock on the file between its moves: another
// connection can append and commit meanwhile. A page ends early once its
// texts take kPageBytes, so that long texts (a user's name of megabytes,
// repeated on every row of that user) make short pages, not large ones.
class CRecordset
{
public:
    enum OpenType
    {
        dynaset = 0,
        useDefaultType = -1,
        // Runs no statement: no row is current (IsBOF() and IsEOF() are
        // true) until Requery() or MoveFirst(). For a set read otherwise
        // than by its cursor.
        unread = 1,
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
    // IsEOF() are both true when there is none (or nothing was read: unread).
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
    virtual void DoFieldExchange(const RowValues& row) = 0;

    QString SelectStatement() const;
    void RequireOpen(const char* operation) const;

    CDatabase* m_pDatabase;

private:
    static constexpr int kPageRows = 512;
    static constexpr qsizetype kPageBytes = qsizetype{1} << 20;

    void LoadPage(qint64 offset);

    QVector<RowValues> m_page;
    qint64 m_pageOffset = 0; // row number of m_page[0]
    int m_current = 0;       // within m_page
    bool m_pageCut = false;  // ended by kPageBytes: more rows may follow
    bool m_bOpen = false;
    bool m_bBOF = true;
    bool m_bEOF = true;
};
