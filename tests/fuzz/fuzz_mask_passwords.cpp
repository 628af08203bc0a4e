// The passwords masked in statements, on any text: masking again changes nothing, a text that does not
// name a password comes back as it was, and a password written as a literal after PASSWORD = never shows.
// Fields: the text, then a password.

#include "FuzzInput.h"

#include "core/db/MaskPasswords.h"
#include "core/db/SqlQuote.h"

using quorix::maskStatementPasswords;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QStringList fields = fuzz::fieldsOf(fuzz::textOf(data, size), 2);
    const QString &text = fields[0];
    const QString masked = maskStatementPasswords(text);
    fuzz::require(maskStatementPasswords(masked) == masked, "masking twice is masking once", masked);
    if (!text.contains(QLatin1String("password"), Qt::CaseInsensitive))
        fuzz::require(masked == text, "a text naming no password is unchanged", masked, text);

    const QString literal = quorix::sqlLiteral(fields[1]);
    const QString login = QStringLiteral("CREATE LOGIN a WITH PASSWORD = ") + literal;
    const QString shown =
        QStringLiteral("CREATE LOGIN a WITH PASSWORD = ") +
        (literal.startsWith(QLatin1Char('N')) ? QStringLiteral("N'********'") : QStringLiteral("'********'"));
    fuzz::require(maskStatementPasswords(login) == shown, "a literal password is masked whole",
                  maskStatementPasswords(login), shown);
    return 0;
}
