#pragma once

// The window's controls, as the feature classes see them. frmMain creates every control and fills this
// record; each feature class gets a reference and reads its inputs from the controls at the moment it
// needs them. Control arrays are indexable by slot (0 = Main, 1 = Mirror) or by index. Every control's
// objectName is its name here, arrays with the index in parentheses ("cmdBackup(0)").

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMainWindow;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class QGroupBox;

namespace quorix {

class Grid;
class FileList;
class LogPane;

template <std::size_t N> using Buttons = std::array<QPushButton *, N>;
template <std::size_t N> using Edits = std::array<QLineEdit *, N>;

struct Form {
    QMainWindow *frmMain = nullptr;

    // Outside the tab strip.
    std::array<Grid *, 2> GridDB{};
    Buttons<2> cmdRefreshDB{};
    std::array<QLabel *, 2> lblDBCount{};
    QLabel *Label4 = nullptr;
    QLineEdit *txtDB = nullptr;
    Grid *Grid2 = nullptr;
    LogPane *txtLog = nullptr;
    LogPane *txtErrs = nullptr;
    QCheckBox *chkStop = nullptr;
    QPushButton *cmdCancel = nullptr;  // beside STOP: cancels the running statement
    QPushButton *cmdSaveLog = nullptr; // beside the log pane: writes its lines to a file
    QLabel *lblCnt = nullptr;
    QLabel *lblWorking = nullptr;
    QLineEdit *txtBuffer = nullptr;
    FileList *FileA = nullptr;
    FileList *FileB = nullptr;
    QTimer *Timer1 = nullptr;
    QTimer *tmrDoEv = nullptr;
    QTabWidget *SSTab1 = nullptr;
    QTabWidget *SSTab2 = nullptr;

    // 0 "Main Tools"
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    Edits<2> txtServer{};
    Buttons<2> cmdConnect{};
    std::array<QLabel *, 2> Label3{};
    Edits<2> txtPW{};
    // Who each server's session logs in as and how it is protected (remembered like the boxes).
    std::array<QLabel *, 2> lblLogin{};
    Edits<2> txtLogin{};
    std::array<QCheckBox *, 2> chkWindowsAuth{};
    std::array<QLabel *, 2> lblEncryption{};
    std::array<QComboBox *, 2> cboEncryption{};
    Buttons<2> cmdTableSizes{};
    Buttons<2> cmdBackup{};
    Buttons<2> cmdCopy{};
    QCheckBox *chkALL = nullptr;
    QCheckBox *chkLogOnly = nullptr;
    QCheckBox *chkScriptOnly = nullptr; // dry run: never remembered, unticked at start
    QPushButton *cmdSaveScript = nullptr;
    QLabel *lblScriptOnly = nullptr; // in the status bar while chkScriptOnly is ticked
    Buttons<2> cmdRestoreFileList{};
    Buttons<2> cmdRestore{};
    Buttons<2> cmdSetPartner{};
    Buttons<2> cmdMakeOnline{};
    Buttons<1> cmdFullRecovery{}; // index 0 only
    Buttons<2> cmdClearConnections{};
    Buttons<2> cmdDrop{};
    Buttons<2> cmdDropAll{};
    Buttons<2> cmdNetworkConnect{};
    std::array<QPushButton *, 2> cmdDropDir{}; // only index 1 exists; [0] stays null
    QGroupBox *Frame4 = nullptr;
    QLabel *Label12 = nullptr;
    QLabel *Label21 = nullptr;
    Edits<2> txtServerUser{};
    Edits<2> txtServerPW{};
    QLabel *Label13 = nullptr;
    Buttons<2> cmdOpenDir{};
    Buttons<2> cmdOpenDirB{};
    Buttons<2> cmdOpenFolder{};
    Buttons<2> cmdOpenPath{};
    std::array<QLabel *, 5> Label6{};
    QLabel *Label20 = nullptr;
    QPushButton *cmdMap = nullptr;

    // 1 "Copy"
    QPushButton *cmdCopyInto = nullptr;
    QPushButton *cmdDropTableDB2 = nullptr;
    QPushButton *cmdCopyTablesDB2 = nullptr;
    QPushButton *cmdTruncate = nullptr;
    QPushButton *cmdCopyTables = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QCheckBox *chkAllTables = nullptr;
    QPushButton *cmdCheckTables = nullptr;
    QPushButton *cmdCopytoNEW = nullptr;
    QPushButton *cmdCloneTable = nullptr;
    QLabel *lblcount = nullptr;
    QPushButton *cmdCopybyRecID = nullptr;
    QLabel *Label10 = nullptr;
    QLineEdit *txtStartIDNum = nullptr;
    QLabel *Label11 = nullptr;
    QLineEdit *txtENDIDNum = nullptr;

    // 2 "txt"
    QPlainTextEdit *Text1 = nullptr;

    // 3 "Restore"
    FileList *File1 = nullptr;
    QPushButton *cmdRename = nullptr;
    QPushButton *cmdRestoreMain = nullptr;
    QPushButton *cmdRefresh = nullptr;

    // 4 "TEST"
    Buttons<4> cmdTest{};
    QLineEdit *txtTESTConnection = nullptr;
    QLabel *lblTime = nullptr;

    // 5 "Restore Dir"
    QLabel *Label14 = nullptr;
    QGroupBox *Frame3 = nullptr;
    std::array<FileList *, 2> File2{};
    QLineEdit *txtRestoreDir = nullptr;
    QLabel *Label8 = nullptr;
    QGroupBox *Frame2 = nullptr;
    Buttons<2> cmdRenameDir{};
    QLineEdit *txtSeparator = nullptr;
    QLabel *Label7 = nullptr;
    QPushButton *cmdRestoretoMain = nullptr;
    QPushButton *cmdAttachAll = nullptr;
    QPushButton *cmdDetachAll = nullptr;

    // 6 "Options"
    std::array<QGroupBox *, 2> Frame1{};
    Edits<6> txtRestoreTO{};
    Edits<2> txtLogDrive{};
    QGroupBox *Frame5 = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *txtBackupDrive = nullptr;

    // 7 "Mirroring": SSTab2 with the script frames
    std::array<QGroupBox *, 4> fraScr{};
    std::array<QPlainTextEdit *, 4> txtScript1{};
    Buttons<4> cmdRunScript{};
    Buttons<3> cmdCopyCert{};

    // 8 "SQL to String"
    QPlainTextEdit *txtSRC = nullptr;
    QPlainTextEdit *txtDest = nullptr;
    QPushButton *cmdMakeVB = nullptr;
    QPushButton *cmdClearSQL = nullptr;

    // 9 "Anonymize"
    QPlainTextEdit *txtATables = nullptr;
    QPushButton *cmdDefault = nullptr;
    QCheckBox *chkTestRun = nullptr;
    QPushButton *cmdAnonymize = nullptr;
    QLabel *Label22 = nullptr;
    QPlainTextEdit *txtLastNames = nullptr;
    QListWidget *lstLast = nullptr;
    QLabel *Label23 = nullptr;
    QPlainTextEdit *txtFirstnames = nullptr;
    QListWidget *lstFirst = nullptr;
    QLabel *lblRecNo = nullptr;
    QLabel *lblRecCount = nullptr;

    // 12 " "
    Grid *GridA = nullptr;
    Edits<9> txtAnonymize{};
    Edits<18> txtAnonymizeField{};

    // 13 " "
    QPlainTextEdit *txtTableSizes = nullptr;

    // 14 "Status"
    Grid *GridStatus = nullptr;
    QPushButton *cmdStatusRefresh = nullptr;
    QCheckBox *chkStatusAuto = nullptr; // "every 10 s"
    QLabel *lblStatusTime = nullptr;
    QPushButton *cmdPreflight = nullptr;
    QTimer *tmrStatus = nullptr; // reads again every 10 s while "every 10 s" is ticked
};

} // namespace quorix
