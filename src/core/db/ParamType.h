#pragma once

// The declared SQL Server type of a statement parameter, as written in T-SQL ("int", "decimal(10,2)",
// "nvarchar(max)", "datetime2(7)"). The declaration decides how a QVariant value is converted and how the
// driver declares the parameter to the server. The driver has no way to declare money or datetime: money
// and smallmoney travel as decimal(19,4) and decimal(10,4), datetime and smalldatetime as datetime2,
// which hold every such value exactly. date, time, datetime2 and datetimeoffset travel as ISO 8601 text:
// the driver's own calendar is wrong before 1600-03-01, it has no offset type and it rounds a time's
// fraction through floating point, so only text carries every value these types hold (0001-01-01 to
// 9999-12-31, 100 ns, the offset). Such a
// marker is written CAST(? AS <type>) in the statement (castTextMarkers): the server then never has to
// convert the text to the column's type by itself, which not every T-SQL engine does.

#include <QString>
#include <vector>

namespace quorix {

struct ParamType {
    enum class Kind {
        Bit,
        TinyInt,
        SmallInt,
        Int,
        BigInt,
        Real,
        Float,
        Decimal,
        Numeric,
        Date,
        Time,
        DateTime, // datetime and smalldatetime: through the driver's timestamp, as datetime2
        DateTime2,
        DateTimeOffset,
        Char,
        VarChar,
        NChar,
        NVarChar,
        Binary,
        VarBinary,
        UniqueIdentifier,
    };
    static constexpr int kMax = -1; // length of the (max) types

    Kind kind = Kind::Int;
    int length = 0;    // characters or bytes of char/binary types; kMax for (max)
    int precision = 0; // decimal/numeric
    int scale = 0;     // decimal/numeric digits after the point; time/datetime fraction digits

    // Throws DbError (SQLSTATE HY004) for a type it does not know.
    static ParamType parse(const QString &sqlType);
    bool isMax() const { return length == kMax; }
    // date, time, datetime2 and datetimeoffset: bound as their ISO 8601 text.
    bool travelsAsText() const;
    // "date", "time(7)", "datetime2(7)", "datetimeoffset(3)": the type a marker of text is cast to.
    QString castType() const;
};

// sql with the i-th '?' marker written "CAST(? AS <type>)" where types[i] travels as text; a '?' inside a
// string literal, a quoted name or a comment is no marker. The text is returned as it is when the number of
// markers differs from types.size(), so that the driver reports that mismatch itself.
QString castTextMarkers(const QString &sql, const std::vector<ParamType> &types);

} // namespace quorix
