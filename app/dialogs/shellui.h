#pragma once

#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

// The file types of the database dialogs, ours first.
QStringList DatabaseFilters();
// The path with the extension of the chosen filter added when it has none.
QString WithDefaultExtension(const QString& path, const QString& filter);

// The modal parts of the window shell: the file dialogs and modal dialogs.
// Tests put their own in its place.
class ShellUi
{
public:
    virtual ~ShellUi() = default;
    // Open Database: an existing file, or empty when cancelled.
    virtual QString GetOpenFileName(QWidget* parent, const QString& dir);
    // New Database: the file to create, or empty when cancelled.
    virtual QString GetSaveFileName(QWidget* parent, const QString& dir);
    // Runs dialog modally and returns its result, as QDialog::exec().
    virtual int Exec(QDialog& dialog);
};
