#pragma once

#include "db/joinstream.h"
#include "formats/csv.h"

#include <QDialog>

class CDatabase;
class MessageSink;
class QCheckBox;
class QDateTimeEdit;
class QLineEdit;

// File > Export: the file to write and, optionally, the dates of the events;
// when the list is filtered, whether to write only the rows it shows.
class CExportDialog : public QDialog
{
    Q_OBJECT

public:
    CExportDialog(const QString& suggestedPath, QWidget* parent = nullptr,
                  const EventFilter& listFilter = {});

    QString Path() const;
    // The events at or after From and before To, of those that are ticked;
    // of those, only the ones the list shows when that is ticked.
    JoinFilter Filter() const;
    // Guarded unless raw values are ticked.
    CsvText Text() const;

    void accept() override;

    QLineEdit* m_pPath;
    QCheckBox* m_pUseFrom;
    QDateTimeEdit* m_pFrom;
    QCheckBox* m_pUseTo;
    QDateTimeEdit* m_pTo;
    QCheckBox* m_pRaw;
    QCheckBox* m_pOnlyFiltered; // hidden when the list is not filtered

private:
    EventFilter m_listFilter;
};

// Writes the rows of the list that the filter lets through to path as CSV,
// with a progress window that can cancel it for a large log; the file
// appears only when complete, and never in place of the database or its
// files. Tells the number of rows written, or why nothing was written.
// Returns whether the file was written.
bool ExportWithProgress(QWidget* parent, CDatabase& db, const QString& path,
                        const JoinFilter& filter, CsvText text, MessageSink* messages);
