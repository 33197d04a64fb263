#pragma once

#include "db/location/location.h"
#include "formats/reportquery.h"

#include <QByteArray>
#include <QDateTime>
#include <QPageLayout>
#include <QPageSize>
#include <QStringList>

class QPagedPaintDevice;

// What the header of each page says: the database by its shown name (never
// with a password), when the report was made, the range as it was chosen,
// the grouping and the filter.
struct ReportTitle
{
    QString database;
    QString created;
    QString range;
    QString filter;
};
// made: when the report was counted.
ReportTitle ReportTitleFor(const Location& db, const ReportOptions& options,
                           const QDateTime& made = QDateTime::currentDateTime());

// The page of every report on paper, printed or as a PDF: the paper size
// given, upright, with margins of 15 mm. The same report on the same paper
// gives the same pages.
QPageLayout ReportPageLayout(const QPageSize& size = QPageSize(QPageSize::A4));

// The report on pages laid out by ReportPageLayout (of the device's paper
// size, set on the device here): the header and the page number on each,
// the charts on the first, then the table, its column heads on every page
// and no row cut across two. Returns the number of pages.
int PaintReportPages(QPagedPaintDevice& device, const Report& report, const ReportTitle& title);

// The report as a PDF file on paper of size; pages, when given, gets the
// number of pages. Needs a QGuiApplication.
QByteArray ReportPdf(const Report& report, const ReportTitle& title,
                     const QPageSize& size = QPageSize(QPageSize::A4), int* pages = nullptr);
