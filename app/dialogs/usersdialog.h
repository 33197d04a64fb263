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
class UserPeriodDialog : public QDialog
{
    Q_OBJECT

public:
    explicit UserPeriodDialog(const UserPeriod& period, QWidget* parent = nullptr);
    // The period as entered; sound once the dialog was accepted.
    UserPeriod Period() const;

private:
    QLineEdit* m_name;
    QSpinBox* m_userNo;
    DateField* m_start;
    DateField* m_stop;
    QCheckBox* m_noEnd;
    qint64 m_index;
};

// A user number passes to somebody else at a moment.
class HandOverDialog : public QDialog
{
    Q_OBJECT

public:
    HandOverDialog(qint32 userNo, QWidget* parent = nullptr);
    qint32 UserNo() const;
    QString Name() const;
    QString Moment() const;
    // Only with a moment that can be read.
    void accept() override;

private:
    QSpinBox* m_userNo;
    QLineEdit* m_name;
    DateField* m_at;
};

// Tools > Users: the USERS rows by user number and start. Adds, edits,
// removals and hand-overs are kept here until OK writes them all in one
// transaction; Cancel writes nothing. Periods of one user number that overlap
// are marked.
class UsersDialog : public QDialog
{
    Q_OBJECT

public:
    // The smaller dialogs go through ui, messages tell what failed.
    UsersDialog(CDatabase* db, ShellUi* ui, MessageSink* messages, QWidget* parent = nullptr);

    // Reads the rows; false when they cannot be read (told).
    bool Load();
    // Whether OK wrote anything.
    bool Stored() const { return m_stored; }

    QTableView* Table() const { return m_table; }
    QStandardItemModel* Model() const { return m_model; }
    const QVector<UserPeriod>& Periods() const { return m_periods; }

    // Writes the changes; stays open with the reason when that fails.
    void accept() override;

public Q_SLOTS:
    // A period of the selected row's number, or of number 0.
    void Add();
    void Edit();
    void Remove();
    // Of the selected row's number, or of number 0.
    void HandOver();

private:
    int SelectedRow() const;
    void Refill(int select);
    void Report(const QString& text) const;

    CDatabase* m_db;
    ShellUi* m_ui;
    MessageSink* m_messages;
    QTableView* m_table;
    QStandardItemModel* m_model;
    QVector<UserPeriod> m_loaded;
    QVector<UserPeriod> m_periods;
    bool m_stored = false;
};
