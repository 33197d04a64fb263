#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <QVariant>
#include <QVariantList>
#include <span>

// Whether a bound value stands for NULL: no value at all, or a null text,
// byte array, date or time, as Qt's SQL drivers bound them.
inline bool IsNullValue(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return true;
    switch (value.typeId()) {
    case QMetaType::QString:
        return static_cast<const QString*>(value.constData())->isNull();
    case QMetaType::QByteArray:
        return static_cast<const QByteArray*>(value.constData())->isNull();
    case QMetaType::QDate:
        return static_cast<const QDate*>(value.constData())->isNull();
    case QMetaType::QTime:
        return static_cast<const QTime*>(value.constData())->isNull();
    case QMetaType::QDateTime:
        return static_cast<const QDateTime*>(value.constData())->isNull();
    default:
        return false;
    }
}

// What a value of a row is, as the backend holds it.
enum class ValueType
{
    Null,
    Integer,
    Real,
    Text,
    Blob,
};

// The current row of a statement or of a stream of rows; what it returns is
// valid until the row moves on.
class ResultRow
{
public:
    virtual ~ResultRow() = default;

    virtual ValueType Type(int column) const = 0;
    bool IsNull(int column) const { return Type(column) == ValueType::Null; }
    // A whole number: 0 for NULL, a text read as a number.
    virtual qint64 Int64(int column) const = 0;
    // A value as text: empty (and null) for NULL.
    virtual QString Text(int column) const = 0;
    // The UTF-8 bytes of a text value without converting them; false for a
    // value of another type.
    virtual bool TextBytes(int column, QByteArrayView* text) const = 0;
    // The value as Qt's SQL drivers give it: whole numbers as qint64, texts
    // as QString, NULL as a null value of the column's type; a server's
    // dates and times as Qt's date and time types, in local time.
    virtual QVariant Value(int column) const = 0;
};

// One statement of a connection, prepared once and run any number of times;
// the rows of a run are read one at a time. Errors are thrown as
// CDBException, with the kind of failure set.
class Statement : public ResultRow
{
public:
    // Starts a run with the values bound in order, one for each '?' of the
    // statement: texts as text, whole numbers as numbers, null values as NULL.
    // A run still under way ends first.
    virtual void Exec(const QVariantList& values) = 0;
    virtual void Exec(std::span<const qint64> values) = 0;
    // Moves to the next row; false after the last one, where the run ends.
    virtual bool Next() = 0;
    // Ends a run before its last row, letting go of what it holds.
    virtual void Finish() = 0;
    // The rows the last run inserted, changed or deleted.
    virtual qint64 RowsAffected() const = 0;
};
