// The report window's File menu: Print, Print Preview and Export as PDF, all
// of the same pages.

#include "app/dialogs/reportwindow.h"
#include "db/location/nativename.h"
#include "db/location/outputcheck.h"
#include "db/location/stagedfile.h"
#include "db/messages.h"
#include "formats/reportpdf.h"
#include "platform/filestatus.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace {

bool fileExists(const QString& path)
{
    return platform::StatusOf(EncodeFileName(path)).Exists();
}

} // namespace

void ReportWindow::PrintWithDialog()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(ReportPageLayout(printer.pageLayout().pageSize()));
    printer.setDocName(windowTitle());
    QPrintDialog dialog(&printer, this);
    if (m_ui->Exec(dialog) != QDialog::Accepted)
        return;
    // Printed to a file: written as Export as PDF writes it, on the paper
    // chosen.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        WritePdf(printer.outputFileName(), printer.pageLayout().pageSize());
    else
        Print(printer);
}

void ReportWindow::PrintPreview()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(ReportPageLayout(printer.pageLayout().pageSize()));
    printer.setDocName(windowTitle());
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* shown) { Print(*shown); });
    m_ui->Exec(dialog);
}

void ReportWindow::Print(QPrinter& printer) const
{
    PaintReportPages(printer, m_report, ReportTitleFor(m_db, m_shownOptions, m_shownMade));
}

void ReportWindow::ExportPdf()
{
    QFileDialog dialog(this, tr("Export as PDF"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(tr("PDF (*.pdf)"));
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    if (m_ui->Exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    WritePdf(dialog.selectedFiles().first(), QPageSize(QPageSize::A4));
}

bool ReportWindow::WritePdf(QString path, const QPageSize& size)
{
    if (path.isEmpty())
        return false;
    // The dialogs ask before replacing the file they name; the name written
    // may have its suffix added here.
    const QString named = path;
    path = WithDefaultExtension(path, QStringLiteral("PDF (*.pdf)"));
    if (path != named && fileExists(path)) {
        QMessageBox ask(QMessageBox::Question, tr("ZQreader"),
                        tr("\"%1\" already exists.\n\nReplace it?").arg(ShownFileName(path)),
                        QMessageBox::Yes | QMessageBox::No, this);
        ask.setTextFormat(Qt::PlainText);
        ask.setDefaultButton(QMessageBox::No);
        if (m_ui->Exec(ask) != QMessageBox::Yes)
            return false;
    }
    auto fail = [this, &path](const QString& detail) {
        if (m_messages)
            m_messages->ShowMessage({tr("Cannot write \"%1\"").arg(ShownFileName(path)),
                                     UserMessage::Kind::Error, detail});
        return false;
    };
    const QString over = OutputOverInputMessage(path, m_db);
    if (!over.isEmpty())
        return fail(over);
    // The file appears only when complete; a failure leaves what was there.
    int pages = 0;
    StagedFile file(path);
    if (!file.Write(
            ReportPdf(m_report, ReportTitleFor(m_db, m_shownOptions, m_shownMade), size, &pages)) ||
        !file.Commit())
        return fail(file.ErrorString());
    if (m_messages)
        m_messages->ShowMessage(
            {pages == 1 ? tr("The report was written to \"%1\" (1 page).").arg(ShownFileName(path))
                        : tr("The report was written to \"%1\" (%2 pages).")
                              .arg(ShownFileName(path), QString::number(pages)),
             UserMessage::Kind::Outcome,
             {}});
    return true;
}
