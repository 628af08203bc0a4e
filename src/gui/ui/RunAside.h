#pragma once

// Work that may block for long runs off the window's thread while the window keeps processing events: a
// share that does not answer takes its time-out, a backup file of many gigabytes takes minutes, and STOP,
// Cancel, the log and the painting stay live meanwhile. The work runs on long-lived worker threads with
// the sessions' wait (db/DbWorker.h): one for the operations' share work (copies, drive mappings), one for
// reading folders into the file lists, so that a list typed in during a long copy is not held up by it.

#include "core/shares/FileAccess.h"

#include <functional>
#include <string>

namespace quorix {

// Runs work on the operations' worker and returns when it has finished, rethrowing what it threw. If the
// program quits meanwhile, a copy under way is cancelled so that the wait ends soon.
void runAside(const std::function<void()> &work);
// The same on the file lists' worker.
void readAside(const std::function<void()> &work);

// A copy through the shares layer, run aside.
Outcome copyAside(const std::string &from, const std::string &to);
// Stops the copy running aside at its next block (the Cancel button); it fails as cancelled and leaves no
// file behind.
void cancelAside();

// Waits the given time with the window live (the shell buttons' pauses).
void pauseFor(int milliseconds);

} // namespace quorix
