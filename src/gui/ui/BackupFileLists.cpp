#include "gui/ui/BackupFileLists.h"

#include "gui/ui/Form.h"
#include "gui/ui/widgets/FileList.h"

namespace quorix {

void RefreshBackupFileLists(const Form &form) {
    form.FileA->refresh();
    form.FileB->refresh();
}

} // namespace quorix
