#pragma once

// What every fuzz target shares: the input read as text, cut into fields, and the check that stops the
// run when a property does not hold, so that libFuzzer keeps the input as a reproducer.

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// UTF-8 (what the seeds are written in), or raw UTF-16LE after an FF FE mark, which reaches what UTF-8
// cannot carry into a QString: lone surrogates.
inline QString textOf(const uint8_t *data, size_t size) {
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        QString text;
        for (size_t i = 2; i + 1 < size; i += 2)
            text += QChar(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        return text;
    }
    return QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

// The text cut at U+0000 into exactly count fields: the last takes the rest, missing ones are empty.
inline QStringList fieldsOf(const QString &text, int count) {
    QStringList fields = text.split(QChar(0));
    while (fields.size() > count)
        fields[count - 1] += QChar(0) + fields.takeAt(count);
    while (fields.size() < count)
        fields << QString();
    return fields;
}

// A text printed so that control characters and non-ASCII stay visible.
inline QByteArray shown(const QString &text) {
    QByteArray out = "\"";
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F && c != QLatin1Char('\\') && c != QLatin1Char('"'))
            out += static_cast<char>(c.unicode());
        else
            out += QByteArray("\\u") + QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
    }
    return out + "\"";
}

// Stops the run when a property does not hold: libFuzzer reports it as a crash with the input saved.
inline void require(bool holds, const char *property, const QString &got = {}, const QString &expected = {}) {
    if (holds)
        return;
    std::fprintf(stderr, "property broken: %s\n  got:      %s\n  expected: %s\n", property,
                 shown(got).constData(), shown(expected).constData());
    std::abort();
}

} // namespace fuzz
