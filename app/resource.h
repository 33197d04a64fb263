#pragma once

#include <QString>

// Command ids, status-bar pane ids and string ids of the program. The standard
// file, view and help commands keep the numbers of the classic frameworks, the
// program's own commands start at 32772.
enum CommandId : int
{
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_FILE_MRU_FILE1 = 57616,
    ID_FILE_MRU_FILE2 = 57617,
    ID_FILE_MRU_FILE3 = 57618,
    ID_FILE_MRU_FILE4 = 57619,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_FIND = 57636,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_REPEAT = 57650,
    ID_EDIT_UNDO = 57643,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_HELP_FINDER = 57667,
    ID_CONTEXT_HELP = 57669,
    ID_HELP = 57670,
    ID_DEFAULT_HELP = 57671,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
    ID_TOOLS_OPTION = 32772,
    ID_TOOLS_READEVENTS = 32773,
    ID_FILE_OPEN_SERVER = 32774,
    ID_VIEW_REFRESH = 32775,
    ID_TOOLS_USERS = 32776,
    ID_FILE_EXPORT = 32777,
    ID_EDIT_FIND_PREVIOUS = 32790,
    ID_VIEW_GOTO_DATE = 32791,
    ID_VIEW_FILTER = 32792,
    ID_VIEW_CLEAR_FILTER = 32793,
    ID_VIEW_REPORT = 32794,
};

enum IndicatorId : int
{
    ID_SEPARATOR = 0,
    ID_INDICATOR_CAPS = 59137,
    ID_INDICATOR_NUM = 59138,
    ID_INDICATOR_SCRL = 59139,
};

enum StringId : int
{
    AFX_IDS_APP_TITLE = 57344,
    AFX_IDS_IDLEMESSAGE = 57345,
    AFX_IDS_HELPMODEMESSAGE = 57346,
};

inline constexpr int kMaxRecentFiles = 4;

// The string of a command or string id: for a command its status prompt,
// optionally followed by a newline and its tooltip. Empty when there is none.
QString LoadString(int id);

// The part of a command's string shown in the status bar.
QString StatusPrompt(int id);

// The part of a command's string shown as a tooltip; empty when there is none.
QString ToolTipText(int id);
