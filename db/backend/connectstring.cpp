#include "db/backend/connectstring.h"

QString BuildConnectString(const QString& dbPath)
{
    QString s = QStringLiteral("DSN=ZQreader;DBQ=");
    s += dbPath;
    s += QStringLiteral(";DriverId=25;FIL=MS Access;MaxBufferSize=2048;PageTimeout=5;UID=admin;");
    return s;
}
