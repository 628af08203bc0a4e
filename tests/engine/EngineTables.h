#pragma once

// Tables of the engine tests: every column type the tool binds, one entry per type, with the literal that
// row i holds; the CREATE TABLE and the INSERTs that fill it, written out as T-SQL.

#include "Engine.h"

#include <QDate>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace quorix::testing::engine {

struct TypedColumn {
    std::string name;
    std::string type;
    std::function<std::string(int)> literal; // the T-SQL literal of row i (from 1); "NULL" for none
};

inline std::string quoted(const std::string &text, bool unicode) {
    std::string out = unicode ? "N'" : "'";
    for (const char c : text)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

inline std::string format(const char *pattern, long long a, long long b = 0, long long c = 0) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, pattern, a, b, c);
    return buffer;
}

// Every 97th row is NULL in each nullable column; the first rows hold the extremes of the ranges.
inline std::vector<TypedColumn> everyType() {
    const auto orNull = [](std::function<std::string(int)> f) {
        return [f](int i) { return i % 97 == 0 ? std::string("NULL") : f(i); };
    };
    const auto day = [](int i) {
        if (i == 1)
            return std::string("0001-01-01");
        if (i == 2)
            return std::string("9999-12-31");
        return QDate(1582, 10, 4).addDays(i * 37).toString(Qt::ISODate).toStdString();
    };
    return {
        {"c_bigint", "bigint", orNull([](int i) {
             return i == 1 ? std::string("-9223372036854775808")
                           : format("%lld", (i % 2 ? -1LL : 1LL) * i * 92233720LL);
         })},
        {"c_smallint", "smallint", orNull([](int i) { return format("%lld", i % 65536 - 32768); })},
        {"c_tinyint", "tinyint", orNull([](int i) { return format("%lld", i % 256); })},
        {"c_bit", "bit", orNull([](int i) { return format("%lld", i % 2); })},
        {"c_decimal", "decimal(38,10)", orNull([](int i) {
             return i == 1 ? std::string("-9999999999999999999999999999.9999999999")
                           : format("%lld.%04lld", i * 37LL - 50000, i % 10000);
         })},
        {"c_numeric", "numeric(10,2)",
         orNull([](int i) { return format("%lld.%02lld", i * 3LL - 9000, i % 100); })},
        {"c_money", "money", orNull([](int i) {
             return i == 1 ? std::string("-922337203685477.5808")
                           : format("%lld.%04lld", i * 11LL, i % 10000);
         })},
        {"c_float", "float",
         orNull([](int i) { return i == 1 ? std::string("1e300") : format("%lld.125e-3", i); })},
        {"c_real", "real", orNull([](int i) { return format("%lld.5", i); })},
        {"c_char", "char(10)", orNull([](int i) { return quoted(format("c%lld", i % 1000), false); })},
        {"c_varchar", "varchar(40)", orNull([](int i) {
             return quoted(i % 5 == 0 ? std::string() : format("caf\xC3\xA9 %lld", i), false);
         })},
        {"c_nchar", "nchar(10)", orNull([](int i) { return quoted(format("\xD0\xB6%lld", i % 100), true); })},
        {"c_nvarchar", "nvarchar(40)", orNull([](int i) {
             return quoted(i % 7 == 0
                               ? std::string()
                               : format("Zo\xC3\xAB \xE6\xBC\xA2\xE5\xAD\x97 \xF0\x9F\x98\x80 %lld", i),
                           true);
         })},
        {"c_varbinary", "varbinary(16)",
         orNull([](int i) { return i % 11 == 0 ? std::string("0x") : format("0x%08llX00FF", i); })},
        {"c_date", "date", orNull([day](int i) { return quoted(day(i), false); })},
        {"c_time", "time(7)", orNull([](int i) {
             return quoted(format("%02lld:%02lld:%02lld", i % 24, i % 60, (i * 7) % 60) +
                               format(".%06lld0", i % 1000000),
                           false);
         })},
        {"c_datetime", "datetime", orNull([](int i) {
             static const char *const ms[] = {"000", "003", "007", "010", "997"};
             return quoted(format("2024-01-%02lldT%02lld:%02lld:", i % 28 + 1, i % 24, i % 60) +
                               format("%02lld.", (i * 13) % 60) + ms[i % 5],
                           false);
         })},
        {"c_datetime2", "datetime2(7)", orNull([day](int i) {
             return quoted(day(i) + (i == 2
                                         ? std::string("T23:59:59.9999990")
                                         : format("T%02lld:%02lld:00.%06lld0", i % 24, i % 60, i % 1000000)),
                           false);
         })},
        {"c_datetimeoffset", "datetimeoffset(7)", orNull([](int i) {
             static const char *const zones[] = {"+05:45", "-14:00", "+00:00", "+14:00"};
             return quoted(format("2021-03-%02lldT05:06:07.%06lld0", i % 28 + 1, i % 1000000) + zones[i % 4],
                           false);
         })},
        {"c_guid", "uniqueidentifier",
         orNull([](int i) { return quoted(format("6F9619FF-8B86-D011-B42D-%012lld", i), false); })},
    };
}

// "CREATE TABLE name (id int [IDENTITY(1,1)] PRIMARY KEY, c_bigint bigint NULL, ...)".
inline std::string createTable(const std::string &name, const std::vector<TypedColumn> &columns,
                               bool identity) {
    std::string sql =
        "CREATE TABLE " + name + " (id int" + (identity ? " IDENTITY(1,1)" : "") + " PRIMARY KEY";
    for (const TypedColumn &c : columns)
        sql += ", " + c.name + " " + c.type + " NULL";
    return sql + ")";
}

// Rows 1 to count (id = i) in INSERTs of at most 500 rows, under IDENTITY_INSERT when the table has one.
inline void fill(EngineDb &db, const std::string &name, const std::vector<TypedColumn> &columns, int count,
                 bool identity) {
    std::string names = "id";
    for (const TypedColumn &c : columns)
        names += ", " + c.name;
    std::string batch;
    int inBatch = 0;
    const auto flush = [&] {
        if (inBatch == 0)
            return;
        db.run((identity ? "SET IDENTITY_INSERT dbo." + name + " ON; " : std::string()) + "INSERT INTO dbo." +
               name + " (" + names + ") VALUES " + batch +
               (identity ? "; SET IDENTITY_INSERT dbo." + name + " OFF" : ""));
        batch.clear();
        inBatch = 0;
    };
    for (int i = 1; i <= count; ++i) {
        std::string row = "(" + std::to_string(i);
        for (const TypedColumn &c : columns)
            row += ", " + c.literal(i);
        batch += (inBatch ? ", " : "") + row + ")";
        if (++inBatch == 500)
            flush();
    }
    flush();
}

} // namespace quorix::testing::engine
