// Build step: creates the template database from the schema script.
// Usage: zq-mktemplate SCHEMA.sql OUTPUT.db

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() != 3) {
        err << "usage: zq-mktemplate SCHEMA.sql OUTPUT.db\n";
        return 2;
    }
    QFile schema(args.at(1));
    if (!schema.open(QIODevice::ReadOnly | QIODevice::Text)) {
        err << "cannot read " << args.at(1) << ": " << schema.errorString() << '\n';
        return 1;
    }
    const QString script = QString::fromUtf8(schema.readAll());
    const QString& output = args.at(2);
    const QString partial = output + QStringLiteral(".part");
    QFile::remove(partial);

    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("t"));
        db.setDatabaseName(partial);
        if (!db.open()) {
            err << "cannot create " << partial << ": " << db.lastError().text() << '\n';
            return 1;
        }
        QString statement;
        for (const QString& line : script.split(QLatin1Char('\n'))) {
            if (line.trimmed().startsWith(QLatin1String("--")))
                continue;
            statement += line + QLatin1Char('\n');
            if (!line.trimmed().endsWith(QLatin1Char(';')))
                continue;
            QSqlQuery q(db);
            if (!q.exec(statement)) {
                err << "schema statement failed: " << q.lastError().text() << '\n' << statement;
                ok = false;
                break;
            }
            statement.clear();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("t"));
    if (!ok || (QFile::exists(output) && !QFile::remove(output)) ||
        !QFile::rename(partial, output)) {
        QFile::remove(partial);
        if (ok)
            err << "cannot write " << output << '\n';
        return 1;
    }
    return 0;
}
