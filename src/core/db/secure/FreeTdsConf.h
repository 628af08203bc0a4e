#pragma once

// FreeTDS takes the certificate check (authority file, host name check) only from a freetds.conf section,
// so the tool keeps a configuration file of its own, in its configuration folder, holding one section per
// server as connected, and points FREETDSCONF at it. A freetds.conf the user had named that way is copied
// in first, so its sections and settings still count.

#include "core/db/ConnectionString.h"

namespace quorix {

// Points FREETDSCONF at the tool's file, once per process; call before any connection runs (main does).
void prepareFreeTdsConfiguration();
// Makes sure the file holds section. Empty on success, else why not.
QString ensureFreeTdsSection(const FreeTdsSection &section);

} // namespace quorix
