#pragma once

#include <QObject>
#include <QString>

class CDatabase;

// Tells when another connection has stored a download into the same database
// (and the same schema), where the backend announces it (see
// Dialect::ChangeChannel). Nothing is polled: the connection's socket wakes
// the event loop.
class ChangeWatch : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~ChangeWatch() override;

    // Listens on db's connection from now on, instead of any earlier one;
    // does nothing for a backend without notifications. db must stay open
    // until Stop() or the next Watch().
    void Watch(const CDatabase& db);
    void Stop();

Q_SIGNALS:
    void Changed();

private:
    QString m_connection;
    QString m_schema;
};
