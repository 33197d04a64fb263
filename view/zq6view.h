#pragma once

#include "db/rowtext.h"
#include "db/zq6doc.h"

#include <QAbstractScrollArea>

class QPainter;

// The event list: one line for every row of the joined event set, in event
// INDEX order. Read-only; the only interaction is scrolling.
//
// The row count is taken when the document says the data changed (the
// initial update after a database was opened, an update after a download);
// a paint reads just the rows in view through the set's windowed access, so
// its cost does not depend on the number of events. When another program has
// changed more than the end of the log since, the set counts again during
// the paint, and the view takes the new count.
class CZq6View : public QAbstractScrollArea, public CDocView
{
    Q_OBJECT

public:
    explicit CZq6View(CZq6Doc* pDoc, QWidget* parent = nullptr);
    ~CZq6View() override;

    CZq6Doc* GetDocument() const { return m_pDocument; }

    // After a database was opened or created, or a new document started:
    // re-open the set in event order and count its rows from the start.
    void OnInitialUpdate();
    // After a download, or whenever the data may have changed: count again,
    // only the new rows when events were just appended.
    void OnUpdate() override;

    int LineHeight() const;
    qint64 GetRowCount() const { return m_nRows; }
    qint64 GetContentHeight() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

    // Draws one text with its top-left corner at (x, y) of the viewport,
    // cut at clipRight (no limit when clipRight <= x).
    virtual void TextOut(QPainter& painter, int x, int y, const QString& text, int clipRight);

private:
    enum class Count
    {
        All,
        Changed
    };

    bool SetReadable() const;
    void Recount(Count how);
    void UpdateScrollSizes();
    void Fail(const QString& error);

    CZq6Doc* m_pDocument;
    qint64 m_nRows = 0;
    quint64 m_countSerial = 0; // of the set's count that m_nRows comes from
    bool m_bFailed = false;    // a database error was met and reported
};
