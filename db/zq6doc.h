#pragma once

#include "db/backend/dbexception.h"
#include "db/location/location.h"
#include "db/messages.h"
#include "db/record/events.h"

#include <QList>
#include <QString>
#include <QVector>
#include <memory>
#include <vector>

class FileReadLock;

// A window that shows the document: told when the data has changed.
class CDocView
{
public:
    virtual ~CDocView() = default;
    virtual void OnUpdate() = 0;
};

// The document: stands for the one open database. Opening a document opens a
// database file, saving it under a name creates a new database there from the
// template. The database state itself lives in g_dbLocation, g_db and g_pSet.
class CZq6Doc
{
public:
    explicit CZq6Doc(MessageSink* messages);
    ~CZq6Doc();
    CZq6Doc(const CZq6Doc&) = delete;
    CZq6Doc& operator=(const CZq6Doc&) = delete;

    // The document's database as a location; none for an untitled document.
    const Location& GetLocation() const { return m_location; }

    // A new, untitled document; the open database (if any) stays open.
    bool OnNewDocument();

    // Opens the database file. On any failure the error is reported, false is
    // returned and the previously open database (or none) stays as it was.
    bool OnOpenDocument(const Location& location);
    bool OnOpenDocument(const QString& path); // parses path, then as above
    // The kind of the database's failure when the last open failed.
    DbFailure OpenFailure() const { return m_openFailure; }

    // Creates a new database at path from the template (replacing any file
    // there, the open database included) and opens it. Reports the outcome;
    // false when nothing was created or the new file could not be opened.
    // A server location gets the tables in its existing, empty database.
    bool OnSaveDocument(const Location& location);
    bool OnSaveDocument(const QString& path); // parses path, then as above

    // After the connection to a server database broke (the server restarted,
    // say): opens the shared connection anew and the list's set on it, its
    // filter kept, to be counted again. False, with the server's reason in
    // *error, and everything as it was while the server cannot be reached.
    bool Reconnect(QString* error = nullptr);

    // Appends the events, oldest first, in one transaction on a connection of
    // its own: all or none. Errors are reported; returns whether they were
    // stored.
    bool AppendEvents(const QVector<NewEvent>& events);

    // Document location and title, kept for the window shell.
    void SetLocation(const Location& location);
    QString GetTitle() const { return m_strTitle; }

    void AddView(CDocView* view);
    void RemoveView(CDocView* view);
    CDocView* GetFirstView() const { return m_views.isEmpty() ? nullptr : m_views.first(); }
    void UpdateAllViews();

    // The lock that keeps two reads out of the open database file; null
    // while none is open.
    FileReadLock* ReadLock() const { return m_readLock.get(); }

    MessageSink* Messages() const { return m_pMessages; }
    void Report(const QString& text, UserMessage::Kind kind, const QString& detail = {},
                bool taskModal = false) const;

    bool m_bDbOpen = false;

private:
    void CloseDatabase();

    MessageSink* m_pMessages;
    QList<CDocView*> m_views;
    std::unique_ptr<FileReadLock> m_readLock;
    // The locks of files opened before: their descriptors stay open until the
    // document goes, as a connection of this process may still read them (see
    // FileReadLock). One for each database opened in the run.
    std::vector<std::unique_ptr<FileReadLock>> m_retiredLocks;
    Location m_location;
    QString m_strTitle;
    DbFailure m_openFailure = DbFailure::Other;
};
