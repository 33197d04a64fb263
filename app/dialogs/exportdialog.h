#pragma once

#include "db/joinstream.h"
#include "formats/csv.h"

#include <QDialog>

class CDatabase;
class DateField;
class MessageSink;
class QCheckBox;
class QLineEdit;
class ShellUi;

// File > Export: the file to write and, optionally, the dates of the events;
// when the list is filtered, whether to write only the rows it shows.
class ExportDialog : public QDialog
{
    Q_OBJECT

public:
    // The question before replacing a file goes through ui when given.
    ExportDialog(const QString& suggestedPath, QWidget* parent = nullptr,
                 const EventFilter& listFilter = {}, ShellUi* ui = nullptr);

    QString Path() const;
    // The events at or after From and before To, of those that are ticked;
    // of those, only the ones the list shows when that is ticked.
    JoinFilter Filter() const;
    // Guarded unless raw values are ticked.
    CsvText Text() const;

    // With the dates that can be read and a file: ".csv" added to a name
    // without a suffix, and a file that is there replaced only when the user
    // says so.
    void accept() override;

private:
    QLineEdit* m_path;
    QCheckBox* m_useFrom;
    DateField* m_from;
    QCheckBox* m_useTo;
    DateField* m_to;
    QCheckBox* m_raw;
    QCheckBox* m_onlyFiltered; // hidden when the list is not filtered
    ShellUi* m_ui;
    EventFilter m_listFilter;
    QString m_confirmed; // chosen in the file dialog, which asked already
};

// Writes the rows of the list that the filter lets through to path as CSV,
// with a progress window that can cancel it for a large log; the file
// appears only when complete, and never in place of the database or its
// files. Tells the number of rows and the file written, or why nothing was
// written.
// Returns whether the file was written.
bool ExportWithProgress(QWidget* parent, CDatabase& db, const QString& path,
                        const JoinFilter& filter, CsvText text, MessageSink* messages);
