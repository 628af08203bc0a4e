#pragma once

// Building blocks of the window's layout. Each builder creates its tab's controls, gives each its name as
// objectName (arrays as "name(index)"), and fills the Form record. Only frmMain calls these.

#include <QString>

class QCheckBox;
class QIcon;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace quorix {

struct Form;
class FileList;
class Grid;

// The form's default server addresses; start-up replaces them with the remembered ones.
inline constexpr const char *kDefaultMainServer = "MAINSERVER";
inline constexpr const char *kDefaultMirrorServer = "MIRRORSERVER";

namespace ui {

QString indexed(const char *name, int index); // "cmdBackup(0)"

QPushButton *button(const QString &name, const QString &caption);
QLineEdit *edit(const QString &name, const QString &text = {});
QLabel *label(const QString &name, const QString &caption);
QCheckBox *check(const QString &name, const QString &caption);
// into: the pane to set up (a LogPane, say); by default a new QPlainTextEdit.
QPlainTextEdit *memo(const QString &name, bool wrap = false, QPlainTextEdit *into = nullptr);
QGroupBox *frame(const QString &name, const QString &caption);
Grid *grid(const QString &name);
FileList *fileList(const QString &name, const QString &pattern);

} // namespace ui

// Tabs of SSTab1, in order.
QWidget *buildMainToolsTab(Form &form);
QWidget *buildCopyTab(Form &form);
QWidget *buildTxtTab(Form &form);
QWidget *buildRestoreTab(Form &form);
QWidget *buildTestTab(Form &form);
QWidget *buildRestoreDirTab(Form &form);
QWidget *buildOptionsTab(Form &form);
QWidget *buildMirroringTab(Form &form); // holds SSTab2
QWidget *buildSqlToStringTab(Form &form);
QWidget *buildAnonymizeTab(Form &form);
QWidget *buildEmptyTab();
QWidget *buildWorkListTab(Form &form);   // GridA and the reference boxes
QWidget *buildTableSizesTab(Form &form); // txtTableSizes
QWidget *buildStatusTab(Form &form);     // GridStatus, Refresh, every 10 s, Pre-flight

// The window's own icon for the title bar and the task bar: PNGs rendered from the packaged SVG
// (scripts/render-icons.sh), so no image plugin is needed to show it.
QIcon applicationIcon();

// What stands beside and below the tab strip.
QWidget *buildDatabasePanel(Form &form); // database lists, txtDB, table browser, transfer folders
QWidget *buildLogPanel(Form &form);      // log and error panes, STOP, Cancel, counters

} // namespace quorix
