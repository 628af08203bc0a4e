#include "gui/app/FormBuilder.h"

#include "gui/ui/widgets/FileList.h"
#include "gui/ui/widgets/Grid.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace quorix::ui {

QString indexed(const char *name, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

QPushButton *button(const QString &name, const QString &caption) {
    auto *b = new QPushButton(caption);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

QLineEdit *edit(const QString &name, const QString &text) {
    auto *e = new QLineEdit(text);
    e->setObjectName(name);
    // The boxes hold paths, passwords and table lists that users paste; no length cap of the toolkit's own.
    e->setMaxLength(65535);
    return e;
}

QLabel *label(const QString &name, const QString &caption) {
    auto *l = new QLabel(caption);
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText); // captions such as "<- Copy" are text, never markup
    return l;
}

QCheckBox *check(const QString &name, const QString &caption) {
    auto *c = new QCheckBox(caption);
    c->setObjectName(name);
    return c;
}

QPlainTextEdit *memo(const QString &name, bool wrap, QPlainTextEdit *into) {
    QPlainTextEdit *m = into ? into : new QPlainTextEdit;
    m->setObjectName(name);
    m->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    m->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return m;
}

QGroupBox *frame(const QString &name, const QString &caption) {
    auto *f = new QGroupBox(caption);
    f->setObjectName(name);
    return f;
}

Grid *grid(const QString &name) {
    auto *g = new Grid;
    g->setObjectName(name);
    return g;
}

FileList *fileList(const QString &name, const QString &pattern) {
    auto *f = new FileList;
    f->setObjectName(name);
    f->setPattern(pattern);
    return f;
}

} // namespace quorix::ui
