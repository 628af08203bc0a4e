// The script splitter on any text: batches are never blank, go out with CR LF line ends, and the same
// script with CR LF line ends splits exactly as with LF ones; taking statement-ending ";" off removes
// nothing but those ";" and leaves nothing for a second pass.

#include "FuzzInput.h"

#include "core/mirroring/ScriptSplitter.h"

using namespace quorix;

namespace {

// True when out is in with some ";" taken out.
bool onlySemicolonsGone(const QString &in, const QString &out) {
    qsizetype o = 0;
    for (const QChar c : in) {
        if (o < out.size() && out[o] == c)
            ++o;
        else if (c != QLatin1Char(';'))
            return false;
    }
    return o == out.size();
}

void checkSemicolons(const QString &sql) {
    const QString once = removeStatementSemicolons(sql);
    fuzz::require(onlySemicolonsGone(sql, once), "only statement-ending ';' are removed", once, sql);
    fuzz::require(removeStatementSemicolons(once) == once, "removing ';' twice changes nothing more",
                  removeStatementSemicolons(once), once);
}

void checkBatches(const QList<ScriptBatch> &batches) {
    for (const ScriptBatch &batch : batches) {
        fuzz::require(!batch.text.trimmed().isEmpty(), "no blank batch is sent", batch.text);
        for (qsizetype i = batch.text.indexOf(QLatin1Char('\n')); i >= 0;
             i = batch.text.indexOf(QLatin1Char('\n'), i + 1))
            fuzz::require(i > 0 && batch.text[i - 1] == QLatin1Char('\r'), "batches have CR LF line ends",
                          batch.text);
        if (batch.echo)
            fuzz::require(removeStatementSemicolons(batch.text) == batch.text,
                          "a sent batch holds no statement-ending ';'", batch.text);
    }
}

bool sameBatches(const QList<ScriptBatch> &a, const QList<ScriptBatch> &b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].text != b[i].text || a[i].echo != b[i].echo)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString script = fuzz::textOf(data, size);
    checkSemicolons(script);
    const QList<ScriptBatch> batches = splitScript(script);
    checkBatches(batches);
    if (!script.contains(QLatin1Char('\r'))) {
        QString crlf = script;
        crlf.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
        fuzz::require(sameBatches(splitScript(crlf), batches), "CR LF and LF line ends split alike", crlf,
                      script);
    }
    return 0;
}
