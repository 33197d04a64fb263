#pragma once

#include "db/location/location.h"
#include "formats/reportquery.h"

#include <QByteArray>
#include <QStringList>

class QPagedPaintDevice;

// What the header of each page says: the database by its shown name (never
// with a password), the range, the grouping and the filter.
struct ReportTitle
{
    QString database;
    QString range;
    QString filter;
};
ReportTitle ReportTitleFor(const Location& db, const ReportOptions& options);

// The report on pages: the header and the page number on each, the charts on
// the first, then the table, its column heads on every page and no row cut
// across two. Returns the number of pages.
int PaintReportPages(QPagedPaintDevice& device, const Report& report, const ReportTitle& title);

// The report as a PDF file (A4). Needs a QGuiApplication.
QByteArray ReportPdf(const Report& report, const ReportTitle& title);
