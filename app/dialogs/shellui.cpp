#include "app/dialogs/shellui.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

QStringList DatabaseFilters()
{
    return {QCoreApplication::translate("ShellUi", "ZQreader Database Files (*.db)"),
            QCoreApplication::translate("ShellUi", "Access Database Files (*.mdb)")};
}

namespace {

QString FilterSuffix(const QString& filter)
{
    static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.([^ );]+)"));
    const QRegularExpressionMatch m = pattern.match(filter);
    return m.hasMatch() ? m.captured(1) : QStringLiteral("db");
}

QString RunFileDialog(QWidget* parent, const QString& dir, bool save)
{
    QFileDialog dialog(parent,
                       save ? QCoreApplication::translate("ShellUi", "Save As")
                            : QCoreApplication::translate("ShellUi", "Open"),
                       dir);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(DatabaseFilters());
    dialog.setDefaultSuffix(FilterSuffix(DatabaseFilters().first()));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString& f) { dialog.setDefaultSuffix(FilterSuffix(f)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return WithDefaultExtension(dialog.selectedFiles().first(), dialog.selectedNameFilter());
}

} // namespace

QString WithDefaultExtension(const QString& path, const QString& filter)
{
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + QLatin1Char('.') + FilterSuffix(filter);
}

QString ShellUi::GetOpenFileName(QWidget* parent, const QString& dir)
{
    return RunFileDialog(parent, dir, false);
}

QString ShellUi::GetSaveFileName(QWidget* parent, const QString& dir)
{
    return RunFileDialog(parent, dir, true);
}

int ShellUi::Exec(QDialog& dialog)
{
    return dialog.exec();
}
