#pragma once

// A run over a file list takes its entries once, as they stand when the button is pressed: the files it
// renames or restores, and a refresh meanwhile, do not change what it walks.

#include "ui/widgets/FileList.h"

#include <QStringList>

namespace quorix {

inline QStringList entriesOf(const FileList &list) {
    QStringList names;
    for (int i = 0; i < list.listCount(); ++i)
        names << list.list(i);
    return names;
}

} // namespace quorix
