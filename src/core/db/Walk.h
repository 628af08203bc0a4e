#pragma once

// The one walk every feature runs over a list of databases, backup files or tables: before each item the
// session gets its turn (a lost link is reconnected between items, never in the middle of one) and
// "3 of 12: Billing" goes to the progress sink; then the work runs. After each item the window processes
// its events, and STOP and ALL DBS decide, where the caller follows them, whether the walk goes on. The
// walk needs no window: whoever runs it hands in the checks as callables (gui/ui/DatabaseWalk.h hands in
// the window's).

#include <QString>
#include <functional>
#include <optional>

namespace quorix {

// What the work of one item tells the walk.
enum class WalkOn { Next, End };

// What the walk asks of whoever runs it. Any of them may be left empty: nothing is done or seen there.
struct WalkHooks {
    std::function<void()> beforeStep; // before each item (the session's reconnect of lost links)
    std::function<void(const QString &)>
        progress;                     // "n of m: name" before each item; empty when the walk ends
    std::function<void()> yield;      // after each item: events are processed
    std::function<bool()> stopTicked; // STOP
    std::function<void()> untickStop;
    std::function<bool()> allTicked; // ALL DBS
};

struct WalkRules {
    bool stopOnStop = false; // end the walk when STOP is ticked after an item
    bool untickStop = false; // ... and untick STOP then
    bool followAll = true;   // end the walk when ALL DBS has been unticked
    bool stopFirst = false;  // STOP is also looked at (after a yield) before the first item
};

// The items of a walk. count is read once, or before each item when reread is set (the work may reload the
// list). take makes item i (from 0) the current one and gives its name for the progress; none when the list
// has run short of it, which ends the walk.
struct WalkItems {
    std::function<int()> count;
    bool reread = false;
    std::function<std::optional<QString>(int)> take;
};

QString walkProgress(int number, int count, const QString &name); // number counts from 1

// Runs work for each item in turn. Returns false when the walk was ended early: by STOP, by unticking
// ALL DBS, by the list running short or by the work.
bool runWalk(const WalkItems &items, const std::function<WalkOn(int)> &work, const WalkRules &rules,
             const WalkHooks &hooks);

} // namespace quorix
