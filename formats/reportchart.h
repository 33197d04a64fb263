#pragma once

#include "formats/reportquery.h"

#include <QRectF>

class QPainter;

// The report's charts, drawn with QPainter on any device (a window, an image,
// a PDF page). Users are told apart by greys and hatch patterns, so the
// charts read the same in black and white.

// Events per period over the report's range as bars, stacked by user: the
// users with the most events each in a pattern of their own, the rest
// together. With onlyUser (an index into report.userTotals) the bars hold
// that user's events alone.
void PaintPeriodChart(QPainter& painter, const QRectF& area, const Report& report,
                      int onlyUser = -1);
// Events by local hour of day (0 to 23).
void PaintHourChart(QPainter& painter, const QRectF& area, const Report& report);

// The label of a report user: "NAME (N)", or "N (no user)".
QString ReportUserLabel(const ReportRow& row);
