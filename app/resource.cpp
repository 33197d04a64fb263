#include "app/resource.h"

#include <QHash>

QString LoadString(int id)
{
    static const QHash<int, QString> table = {
        {AFX_IDS_APP_TITLE, QStringLiteral("Zq6")},
        {AFX_IDS_IDLEMESSAGE, QStringLiteral("For Help, press F1")},
        {AFX_IDS_HELPMODEMESSAGE, QStringLiteral("Select an object on which to get Help")},
        {ID_FILE_SAVE_AS, QStringLiteral("Create a new Database\nSave As")},
        {ID_FILE_OPEN, QStringLiteral("Open an existing Database\nOpen")},
        {ID_FILE_OPEN_SERVER, QStringLiteral("Open a Database on a server\nOpen Server")},
        {ID_VIEW_REFRESH, QStringLiteral("Read the list again\nRefresh")},
        {ID_TOOLS_USERS, QStringLiteral("Edit who holds which user number when\nUsers")},
        {ID_FILE_EXPORT, QStringLiteral("Write the events of the list to a CSV file\nExport")},
        {ID_VIEW_GOTO_DATE, QStringLiteral("Show the first event at or after a date\nGo to Date")},
        {ID_EDIT_FIND, QStringLiteral("Find a user name or a user number in the list\nFind")},
        {ID_EDIT_REPEAT, QStringLiteral("Find the next row that matches\nFind Next")},
        {ID_EDIT_FIND_PREVIOUS,
         QStringLiteral("Find the previous row that matches\nFind Previous")},
        {ID_VIEW_FILTER,
         QStringLiteral("Show only the events of some users, names, a button or dates\nFilter")},
        {ID_VIEW_CLEAR_FILTER, QStringLiteral("Show all events again\nClear Filter")},
        {ID_VIEW_REPORT,
         QStringLiteral("Count the events by period and user, with charts\nReport")},
        {ID_TOOLS_READEVENTS, QStringLiteral("Read a new events from the receiver")},
        {ID_FILE_MRU_FILE1, QStringLiteral("Open this Database")},
        {ID_FILE_MRU_FILE2, QStringLiteral("Open this document")},
        {ID_FILE_MRU_FILE3, QStringLiteral("Open this document")},
        {ID_FILE_MRU_FILE4, QStringLiteral("Open this document")},
        {ID_APP_EXIT, QStringLiteral("Quit the application; prompts to save documents\nExit")},
        {ID_VIEW_TOOLBAR, QStringLiteral("Show or hide the toolbar\nToggle ToolBar")},
        {ID_VIEW_STATUS_BAR, QStringLiteral("Show or hide the status bar\nToggle StatusBar")},
        {ID_HELP_FINDER, QStringLiteral("List Help topics\nHelp Topics")},
        {ID_APP_ABOUT, QStringLiteral("About ZQ reader")},
        {ID_INDICATOR_CAPS, QStringLiteral("CAP")},
        {ID_INDICATOR_NUM, QStringLiteral("NUM")},
        {ID_INDICATOR_SCRL, QStringLiteral("SCRL")},
    };
    return table.value(id);
}

QString StatusPrompt(int id)
{
    const QString s = LoadString(id);
    return s.section(QLatin1Char('\n'), 0, 0);
}

QString ToolTipText(int id)
{
    const QString s = LoadString(id);
    const qsizetype nl = s.indexOf(QLatin1Char('\n'));
    return nl < 0 ? QString() : s.mid(nl + 1);
}
