#pragma once

#include "db/record/users.h"

#include <QDialog>

class CDatabase;
class DateField;
class MessageSink;
class QCheckBox;
class QLineEdit;
class QSpinBox;
class QStandardItemModel;
class QTableView;
class ShellUi;

// One period: name, user number, start and end (or no end).
class CUserPeriodDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CUserPeriodDialog(const UserPeriod& period, QWidget* parent = nullptr);
    UserPeriod Period() const;

    QLineEdit* m_pName;
    QSpinBox* m_pUserNo;
    DateField* m_pStart;
    DateField* m_pStop;
    QCheckBox* m_pNoEnd;

private:
    qint64 m_index;
};

// A user number passes to somebody else at a moment.
class CHandOverDialog : public QDialog
{
    Q_OBJECT

public:
    CHandOverDialog(qint32 userNo, QWidget* parent = nullptr);
    qint32 UserNo() const;
    QString Name() const;
    QString Moment() const;
    // Only with a moment that can be read.
    void accept() override;

    QSpinBox* m_pUserNo;
    QLineEdit* m_pName;
    DateField* m_pAt;
};

// Tools > Users: the USERS rows by user number and start. Adds, edits,
// removals and hand-overs are kept here until OK writes them all in one
// transaction; Cancel writes nothing. Periods of one user number that overlap
// are marked.
class CUsersDialog : public QDialog
{
    Q_OBJECT

public:
    // The smaller dialogs go through ui, messages tell what failed.
    CUsersDialog(CDatabase* db, ShellUi* ui, MessageSink* messages, QWidget* parent = nullptr);

    // Reads the rows; false when they cannot be read (told).
    bool Load();
    // Whether OK wrote anything.
    bool Stored() const { return m_bStored; }

    QTableView* GetTable() const { return m_pTable; }
    QStandardItemModel* GetModel() const { return m_pModel; }
    const QVector<UserPeriod>& Periods() const { return m_periods; }

    void OnAdd();
    void OnEdit();
    void OnRemove();
    void OnHandOver();
    // Writes the changes; stays open with the reason when that fails.
    void accept() override;

private:
    int SelectedRow() const;
    void Refill(int select);
    void Report(const QString& text) const;

    CDatabase* m_pDb;
    ShellUi* m_pUi;
    MessageSink* m_pMessages;
    QTableView* m_pTable;
    QStandardItemModel* m_pModel;
    QVector<UserPeriod> m_loaded;
    QVector<UserPeriod> m_periods;
    bool m_bStored = false;
};
