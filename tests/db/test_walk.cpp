// The one walk with plain callables, no window: STOP with and without unticking, ALL DBS unticked
// mid-walk, the work ending the walk, the hook's turn before each item, and "n of m" progress over a list
// that is re-read or taken once.

#include "core/db/Walk.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace quorix;

namespace {

// A window's state as the walk sees it, and a trace of what the walk did to it.
struct Host {
    bool stop = false;
    bool all = true;
    QStringList trace;
    WalkHooks hooks() {
        return {.beforeStep = [this] { trace << "hook"; },
                .progress = [this](const QString &text) { trace << "progress " + text; },
                .yield = [this] { trace << "yield"; },
                .stopTicked = [this] { return stop; },
                .untickStop = [this] { stop = false; },
                .allTicked = [this] { return all; }};
    }
};

WalkItems listOf(const QStringList &names, bool reread = false) {
    return {.count = [&names] { return static_cast<int>(names.size()); },
            .reread = reread,
            .take = [&names](int i) -> std::optional<QString> { return names[i]; }};
}

struct Case {
    const char *what;
    WalkRules rules;
    bool stopBefore;     // STOP ticked before the walk starts
    int stopAfter;       // STOP ticked during this item (0 for never)
    int allOffAfter;     // ALL DBS unticked during this item (0 for never)
    int endAfter;        // the work ends the walk at this item (0 for never)
    QStringList done;    // the items worked on
    bool completed;      // runWalk's answer
    bool stopTickedLast; // STOP at the end
};

const WalkRules kStop{.stopOnStop = true, .untickStop = false, .followAll = false};
const WalkRules kStopUntick{.stopOnStop = true, .untickStop = true, .followAll = false};
const WalkRules kAll{.stopOnStop = false, .untickStop = false, .followAll = true};
const WalkRules kStopFirst{.stopOnStop = true, .untickStop = false, .followAll = false, .stopFirst = true};
const WalkRules kNone{.stopOnStop = false, .untickStop = false, .followAll = false};

const Case kCases[] = {
    {"all items", kStop, false, 0, 0, 0, {"a", "b", "c"}, true, false},
    {"STOP ends after its item and stays ticked", kStop, false, 2, 0, 0, {"a", "b"}, false, true},
    {"STOP ends after its item and is unticked", kStopUntick, false, 2, 0, 0, {"a", "b"}, false, false},
    {"STOP not followed", kAll, false, 1, 0, 0, {"a", "b", "c"}, true, true},
    {"STOP ticked before: the first item is passed over too", kStopFirst, true, 0, 0, 0, {}, false, true},
    {"STOP ticked before, looked at after items only", kStop, true, 0, 0, 0, {"a"}, false, true},
    {"ALL DBS unticked mid-walk", kAll, false, 0, 2, 0, {"a", "b"}, false, false},
    {"ALL DBS not followed", kNone, false, 0, 1, 0, {"a", "b", "c"}, true, false},
    {"the work ends the walk", kAll, false, 0, 0, 1, {"a"}, false, false},
};

TEST(Walk, StopAllDbsAndTheWorkDecideWhetherItGoesOn) {
    const QStringList names{"a", "b", "c"};
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.what);
        Host host;
        host.stop = c.stopBefore;
        QStringList done;
        const bool completed = runWalk(
            listOf(names),
            [&](int i) {
                done << names[i];
                if (i + 1 == c.stopAfter)
                    host.stop = true;
                if (i + 1 == c.allOffAfter)
                    host.all = false;
                return i + 1 == c.endAfter ? WalkOn::End : WalkOn::Next;
            },
            c.rules, host.hooks());
        EXPECT_EQ(done, c.done);
        EXPECT_EQ(completed, c.completed);
        EXPECT_EQ(host.stop, c.stopTickedLast);
        EXPECT_EQ(host.trace.last(), "progress "); // the progress goes, however the walk ends
    }
}

// Before each item the hook, then the progress, then the work; after it the yield. The hook never runs
// while an item's work does. The list is re-read: the first item's work adds a name, the second's
// removes the last two.
TEST(Walk, EachItemIsHookProgressWorkYieldOverAListReReadAsItGoes) {
    QStringList names{"Billing", "Payroll"};
    Host host;
    bool working = false;
    WalkHooks hooks = host.hooks();
    hooks.beforeStep = [&] {
        EXPECT_FALSE(working);
        host.trace << "hook";
    };
    runWalk(
        listOf(names, true),
        [&](int i) {
            working = true;
            host.trace << "work " + names[i];
            if (i == 0)
                names << "Radiology"
                      << "Zeta";
            if (i == 1)
                names.resize(2);
            working = false;
            return WalkOn::Next;
        },
        kStop, hooks);
    EXPECT_EQ(host.trace, (QStringList{"hook", "progress 1 of 2: Billing", "work Billing", "yield", "hook",
                                       "progress 2 of 4: Payroll", "work Payroll", "yield", "progress "}));
}

// Taken once: the count shown and walked is the first one; a list that runs short ends the walk.
TEST(Walk, ACountTakenOnceHoldsAndAListRunningShortEndsTheWalk) {
    QStringList names{"Billing", "Payroll", "Radiology"};
    Host host;
    const WalkItems items{.count = [&] { return static_cast<int>(names.size()); },
                          .reread = false,
                          .take = [&](int i) -> std::optional<QString> {
                              if (i >= names.size())
                                  return std::nullopt;
                              return names[i];
                          }};
    QStringList done;
    const auto work = [&](int i) {
        done << names[i];
        if (i == 0)
            names << "Zeta";
        if (i == 1)
            names.resize(2);
        return WalkOn::Next;
    };
    EXPECT_FALSE(runWalk(items, work, kNone, host.hooks()));
    EXPECT_EQ(done, (QStringList{"Billing", "Payroll"}));
    EXPECT_EQ(host.trace.filter("progress"),
              (QStringList{"progress 1 of 3: Billing", "progress 2 of 3: Payroll", "progress "}));
}

// Without any hook the walk still runs: nothing of a window is needed.
TEST(Walk, RunsWithNoHooksAtAll) {
    const QStringList names{"a", "b"};
    QStringList done;
    EXPECT_TRUE(runWalk(listOf(names),
                        [&](int i) {
                            done << names[i];
                            return WalkOn::Next;
                        },
                        {.stopOnStop = true, .untickStop = true, .followAll = true, .stopFirst = true}, {}));
    EXPECT_EQ(done, names);
}

} // namespace
