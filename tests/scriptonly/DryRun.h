#pragma once

// Comparing a dry run with a real one. A test runs a flow for real against scripted servers, records what
// each server received, resets the servers' answers, runs the same flow with Script only ticked and records
// again; then, per server:
//
//   expectDryRunMatches(real, dryRunSent, collectedFor("Mirror"), "Mirror");
//
// checks that the dry run sent nothing that changes anything (its own check, independent of the rule under
// test), and that the collected script is the real run's statements without the reads the dry run sent.
// A USE or SET the dry run sent is also in its script (in front of the change it preceded), and so stays.

#include "core/db/ScriptOnly.h"

#include <QString>
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

namespace quorix::testing {

// Statements of the flows under test that change a server (their words outside literals), written out
// independently of the rule.
inline bool changesSomething(const std::string &sql) {
    static const std::regex change(
        R"(\b(BACKUP|RESTORE +(DATABASE|LOG)|DROP|ALTER|CREATE|INSERT|UPDATE|DELETE|)"
        R"(TRUNCATE|EXEC|GRANT|KILL|MERGE)\b)",
        std::regex::icase);
    static const std::regex literal("'[^']*'");
    return std::regex_search(std::regex_replace(sql, literal, "''"), change);
}

// The batches collected for server ("Main", "Mirror"), in order, without the file operations.
inline std::vector<std::string> collectedFor(const QString &server) {
    std::vector<std::string> out;
    for (const ScriptOnly::Item &item : scriptOnly().items())
        if (!item.fileOperation && item.server == server)
            out.push_back(item.text.toStdString());
    return out;
}

inline void expectDryRunMatches(const std::vector<std::string> &real,
                                const std::vector<std::string> &dryRunSent,
                                const std::vector<std::string> &collected, const std::string &server) {
    SCOPED_TRACE(server);
    std::set<std::string> readsSent;
    for (const std::string &sql : dryRunSent) {
        EXPECT_FALSE(changesSomething(sql)) << "sent in the dry run: " << sql;
        readsSent.insert(sql);
    }
    for (const std::string &sql : collected)
        readsSent.erase(sql); // a USE both sent and collected
    std::vector<std::string> expected;
    for (const std::string &sql : real)
        if (!readsSent.count(sql))
            expected.push_back(sql);
    EXPECT_EQ(collected, expected);
}

} // namespace quorix::testing
