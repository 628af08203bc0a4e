#include "ui/BackupFileLists.h"

#include "ui/Form.h"
#include "ui/widgets/FileList.h"

namespace quorix {

void RefreshBackupFileLists(const Form &form) {
    form.FileA->refresh();
    form.FileB->refresh();
}

} // namespace quorix
