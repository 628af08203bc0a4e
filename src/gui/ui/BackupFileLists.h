#pragma once

namespace quorix {

struct Form;

// Re-reads the backup-share file lists FileA, then FileB (what Timer1's handler does). Called after a backup
// and after a copy of backup files.
void RefreshBackupFileLists(const Form &form);

} // namespace quorix
