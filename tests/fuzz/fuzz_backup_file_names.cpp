// The rules that read names out of the server's and the share's file names: the database a backup file
// belongs to is the name before its first dot, and a physical file's bare name is what follows its last
// backslash; neither loses or adds a character.

#include "FuzzInput.h"

#include "core/db/RestoreFiles.h"

using namespace quorix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString text = fuzz::textOf(data, size);

    const QString db = databaseNameOfBackupFile(text);
    fuzz::require(text.startsWith(db) && !db.contains(QLatin1Char('.')), "the database name holds no dot", db,
                  text);
    fuzz::require(db.size() == text.size() || text[db.size()] == QLatin1Char('.'),
                  "the database name ends at the first dot", db, text);
    fuzz::require(databaseNameOfBackupFile(db) == db, "a database name is its own database name", db);

    const QString bare = barePhysicalName(text);
    fuzz::require(text.endsWith(bare) && !bare.contains(QLatin1Char('\\')), "the bare name holds no folder",
                  bare, text);
    fuzz::require(bare.size() == text.size() || text[text.size() - bare.size() - 1] == QLatin1Char('\\'),
                  "the bare name starts after the last backslash", bare, text);
    fuzz::require(barePhysicalName(bare) == bare, "a bare name stays bare", bare);
    return 0;
}
