#pragma once

// The event list as the desktop program first shows it, offscreen, for the
// benchmarks of the list.

#include "bench/benchcommon.h"
#include "db/eventfilter.h"
#include "db/location/location.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "view/eventlistview.h"

namespace bench {

// A list 32 rows high, its messages on standard error.
struct ListWindow
{
    StderrSink sink;
    CZq6Doc doc{&sink};
    EventListView view{&doc};

    ListWindow() { view.resize(600, 32 * view.LineHeight()); }

    // Opens the database, takes the filter when one is given, and paints
    // the first screen; false when the database cannot be opened.
    bool Open(const Location& location, const EventFilter* filter = nullptr)
    {
        if (!doc.OnOpenDocument(location))
            return false;
        if (filter)
            g_pSet->SetFilter(*filter);
        view.show();
        view.ShowFromStart();
        view.viewport()->repaint();
        return true;
    }
};

} // namespace bench
