#include "db/backend/pgvalue.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>
#include <libpq-fe.h>
#include <limits>

namespace {

// pg_type.h
enum : PgTypeId
{
    kBool = 16,
    kBytea = 17,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kFloat4 = 700,
    kFloat8 = 701,
    kDate = 1082,
    kTime = 1083,
    kTimestamp = 1114,
    kTimestampTz = 1184,
    kTimeTz = 1266,
    kNumeric = 1700,
};

double toDouble(const QByteArray& text)
{
    bool ok = false;
    const double d = text.toDouble(&ok);
    if (ok)
        return d;
    if (text == "NaN")
        return std::numeric_limits<double>::quiet_NaN();
    if (text == "Infinity")
        return std::numeric_limits<double>::infinity();
    if (text == "-Infinity")
        return -std::numeric_limits<double>::infinity();
    return 0;
}

// "HH:MM:SS[.ffffff]" with the fraction cut to milliseconds, as Qt keeps them.
QTime toTime(QByteArrayView text)
{
    if (text.size() < 8)
        return {};
    int ms = 0;
    if (text.size() > 9 && text[8] == '.') {
        int scale = 100;
        for (qsizetype i = 9; i < text.size() && scale > 0 && text[i] >= '0' && text[i] <= '9';
             ++i, scale /= 10)
            ms += (text[i] - '0') * scale;
    }
    return {text.first(2).toInt(), text.sliced(3, 2).toInt(), text.sliced(6, 2).toInt(), ms};
}

// The server's ISO form, "YYYY-MM-DD HH:MM:SS[.ffffff][+HH[:MM]]".
QDateTime toDateTime(const QByteArray& text, bool withZone)
{
    if (text.size() < 19 || text[10] != ' ')
        return {};
    const QDate date = QDate::fromString(QLatin1String(text.first(10)), Qt::ISODate);
    QByteArrayView rest = QByteArrayView(text).sliced(11);
    int offset = 0;
    if (withZone) {
        qsizetype sign = rest.size() - 1;
        while (sign > 0 && rest[sign] != '+' && rest[sign] != '-')
            --sign;
        if (sign < 8)
            return {};
        // The server writes offsets up to 15:59:59.
        const QList<QByteArray> parts = rest.sliced(sign + 1).toByteArray().split(':');
        if (parts.size() > 3)
            return {};
        for (qsizetype i = 0; i < parts.size(); ++i) {
            bool ok = false;
            const int part = parts[i].toInt(&ok);
            if (!ok || part < 0 || part > (i == 0 ? 15 : 59) || parts[i].size() != 2)
                return {};
            offset = offset * 60 + part;
        }
        for (qsizetype i = parts.size(); i < 3; ++i)
            offset *= 60;
        if (rest[sign] == '-')
            offset = -offset;
        rest = rest.first(sign);
    }
    const QTime time = toTime(rest);
    if (!date.isValid() || !time.isValid())
        return {};
    if (!withZone)
        return QDateTime(date, time);
    return QDateTime(date, time, Qt::OffsetFromUTC, offset).toLocalTime();
}

} // namespace

QMetaType PgColumnType(PgTypeId type)
{
    switch (type) {
    case kBool:
        return QMetaType::fromType<bool>();
    case kInt8:
        return QMetaType::fromType<qlonglong>();
    case kInt2:
    case kInt4:
        return QMetaType::fromType<int>();
    case kNumeric:
    case kFloat4:
    case kFloat8:
        return QMetaType::fromType<double>();
    case kDate:
        return QMetaType::fromType<QDate>();
    case kTime:
    case kTimeTz:
        return QMetaType::fromType<QTime>();
    case kTimestamp:
    case kTimestampTz:
        return QMetaType::fromType<QDateTime>();
    case kBytea:
        return QMetaType::fromType<QByteArray>();
    default:
        return QMetaType::fromType<QString>();
    }
}

ValueType PgValueType(PgTypeId type)
{
    switch (type) {
    case kInt8:
    case kInt2:
    case kInt4:
        return ValueType::Integer;
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return ValueType::Real;
    case kBytea:
        return ValueType::Blob;
    default:
        return ValueType::Text;
    }
}

QVariant PgColumnValue(PgTypeId type, const char* text, int length)
{
    const QByteArray bytes = QByteArray::fromRawData(text, length);
    switch (type) {
    case kBool:
        return QVariant(length > 0 && text[0] == 't');
    case kInt8:
        if (length > 0 && text[0] == '-')
            return QVariant(bytes.toLongLong());
        return QVariant(bytes.toULongLong());
    case kInt2:
    case kInt4:
        return QVariant(bytes.toInt());
    case kNumeric:
    case kFloat4:
    case kFloat8:
        return QVariant(toDouble(bytes));
    case kDate:
        return QVariant(QDate::fromString(QLatin1String(bytes), Qt::ISODate));
    case kTime:
    case kTimeTz:
        return QVariant(toTime(bytes));
    case kTimestamp:
    case kTimestampTz:
        return QVariant(toDateTime(bytes, type == kTimestampTz));
    case kBytea: {
        size_t size = 0;
        unsigned char* raw = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &size);
        QByteArray out(reinterpret_cast<const char*>(raw), qsizetype(size));
        PQfreemem(raw);
        return QVariant(out);
    }
    default:
        return QVariant(QString::fromUtf8(text, length));
    }
}

QByteArray PgParameterText(const QVariant& value, bool* binary)
{
    *binary = false;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QByteArray::number(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QByteArray::number(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (std::isnan(d))
            return QByteArrayLiteral("NaN");
        if (std::isinf(d))
            return d > 0 ? QByteArrayLiteral("Infinity") : QByteArrayLiteral("-Infinity");
        return QByteArray::number(d, 'g', 17);
    }
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate).toLatin1();
    case QMetaType::QTime:
        return value.toTime().toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1();
    case QMetaType::QDateTime:
        // The program's dates are wall-clock times of the host.
        return value.toDateTime()
            .toLocalTime()
            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
            .toLatin1();
    case QMetaType::QByteArray:
        *binary = true;
        return value.toByteArray();
    default:
        return value.toString().toUtf8();
    }
}
