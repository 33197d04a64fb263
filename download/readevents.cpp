#include "download/readevents.h"

#include "db/backend/dbexception.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "download/download.h"
#include "download/services.h"

namespace {

using download::Outcome;

void tell(const CZq6Doc& doc, const UserMessage& message)
{
    doc.Report(message.text, message.kind, message.detail, message.taskModal);
}

// The outcome was decided by the commit: a list that cannot be read again
// now (another program's lock, a server gone meanwhile) is only a warning.
void refreshList(CZq6Doc& doc, Outcome& outcome)
{
    try {
        if (g_pSet && g_pSet->IsOpen())
            g_pSet->Requery();
    } catch (const CDBException& e) {
        const UserMessage warning{Outcome::tr("The list could not be read again"),
                                  UserMessage::Kind::Warning,
                                  outcome.GetKind() == Outcome::Kind::Stored
                                      ? Outcome::tr("The events of this download are stored. %1")
                                            .arg(e.m_strError.trimmed())
                                      : e.m_strError.trimmed(),
                                  false};
        outcome.AddWarning(warning);
        tell(doc, warning);
    }
    doc.UpdateAllViews();
}

} // namespace

Outcome ReadEvents(CZq6Doc& doc, DownloadServices& services)
{
    if (!doc.m_bDbOpen) {
        Outcome none = Outcome::NoDatabase();
        tell(doc, none.Message());
        return none;
    }

    // Everything that touches the private connection, the port and the
    // progress runs in the job; what it found is told here afterwards.
    Outcome outcome;
    const Location database = OpenDbLocation();
    services.Execute([&] {
        download::Download download(database, doc.ReadLock(), services);
        outcome = download.Run();
    });

    if (!outcome.Message().text.isEmpty())
        tell(doc, outcome.Message());
    for (const UserMessage& warning : outcome.Warnings())
        tell(doc, warning);

    // After a database failure nothing was stored, and reading the list again
    // would only meet the same failure (a lock held by another program, say)
    // and tell it a second time.
    if (outcome.RefreshesList())
        refreshList(doc, outcome);
    return outcome;
}
