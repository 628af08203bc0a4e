#!/usr/bin/env bash
# The Windows program run under Wine, against two scripted SQL servers (Linux processes): what the
# packages hold, the options, both sessions through Wine's ODBC (which hands the calls to the host's
# FreeTDS), the exact BACKUP statements, a refused login, the exit statuses, the settings in the registry,
# a damaged value, a record copy through the driver's bulk copy, screenshots under the windows platform
# plugin, the local file list and renames, and the installer with its uninstaller. Every check prints a
# line; the last line counts them, and the exit status is 1 when one failed. Also prints the program's
# start-up time under Wine.
#
# Usage: scripts/windows/wine-test.sh [BUILD_DIR]   (build-win, as scripts/windows/build.sh made it)
# Needs the Linux build (scripts/build.sh build): its scripted server (build/tests/support/tds/
# tds-scripted-server, or QUORIX_TDS_SERVER) and its program (build/src/quorix-dbtools, or QUORIX_LINUX_EXE),
# which runs each server step first for comparison. QUORIX_WINE_KEEP=1 keeps the work folder (prefix,
# screenshots) for a look.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
out=$(realpath -m "${1:-build-win}")

# The windows platform plugin needs an X display; with none, Wine's window would wait forever.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1200x24" bash "$0" "$@"
fi

version=$(sed -n 's/^project([^ ]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=quorix-dbtools-$version
zip=$out/$name-win64.zip
setup=$out/$name-setup.exe
server=$(realpath -m "${QUORIX_TDS_SERVER:-build/tests/support/tds/tds-scripted-server}")
linux_exe=$(realpath -m "${QUORIX_LINUX_EXE:-build/src/quorix-dbtools}")
for f in "$zip" "$setup" "$server" "$linux_exe"; do
  [ -f "$f" ] || { echo "missing $f (scripts/windows/build.sh builds the packages; scripts/build.sh the server)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/quorix-wine.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
  if [ "${QUORIX_WINE_KEEP:-}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok   - $1"; }
fail() {
  failed=$((failed + 1))
  echo "FAIL - $1"
  [ -n "${2:-}" ] && printf '%s\n' "$2" | sed 's/^/       /' | head -40
}
check() { # check NAME CONDITION-STATUS [DETAIL]
  if [ "$2" = 0 ]; then ok "$1"; else fail "$1" "${3:-}"; fi
}
has() { grep -qxF -- "$2" <<<"$1"; }  # has TEXT LINE: TEXT holds LINE as a whole line

# A fresh prefix: 64-bit, no Mono or Gecko to install, no Wine messages in the output.
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
ms() { echo $(($(date +%s%N) / 1000000)); }
winereg() { timeout 120 wine reg "$@"; }
t0=$(ms)
timeout 300 wineboot -i >/dev/null 2>&1
echo "Wine prefix made in $(($(ms) - t0)) ms"
# Windows keeps its fonts in C:\Windows\Fonts, and the dialog font Qt asks for ("MS Shell Dlg 2") and
# the fixed one ("Courier New") are among them. A fresh prefix has neither, and the Tahoma that Wine maps
# the dialog font to loses the top of its glyphs in Qt's GDI font engine: DejaVu stands in.
cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf \
  /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
cat >"$work/fonts.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"MS Shell Dlg"="DejaVu Sans"
"MS Shell Dlg 2"="DejaVu Sans"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Courier New"="DejaVu Sans Mono"
REG
winereg import "$work/fonts.reg" >/dev/null 2>&1

# --- The portable zip ---------------------------------------------------------------------------------
mkdir -p "$WINEPREFIX/drive_c/quorix"
unzip -q "$zip" -d "$WINEPREFIX/drive_c/quorix"
dir=$WINEPREFIX/drive_c/quorix/$name
exe=$dir/quorix-dbtools.exe
files=$(cd "$dir" && find . -type f | sed 's|^\./||' | sort)
expected=$(printf '%s\n' Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll libgcc_s_seh-1.dll libstdc++-6.dll \
  libwinpthread-1.dll platforms/qoffscreen.dll platforms/qwindows.dll quorix-dbtools.exe \
  styles/qwindowsvistastyle.dll | sort)
[ "$files" = "$expected" ]
check "the zip holds the program, its Qt and mingw DLLs and three plugins, nothing else" $? "$files"

# Runs the program; its output lands in $r_out and $r_err (CR LF made LF), its status in $r_status.
# Wine does not pass QT_* variables on: WINEQT_X arrives as QT_X.
# A run that hangs (a window waiting for input, say) is ended after 5 minutes and fails its check.
run() {
  timeout 300 "$@" >"$work/out" 2>"$work/err"
  r_status=$?
  r_out=$(tr -d '\r' <"$work/out")
  r_err=$(tr -d '\r' <"$work/err")
}
app() { run wine "$exe" "$@"; }

app --version
[ "$r_status" = 0 ] && [ "$r_out" = "quorix-dbtools $version" ]
check "--version prints 'quorix-dbtools $version' and exits 0" $? "status $r_status: $r_out"
app --help
[ "$r_status" = 0 ] && grep -q -- "--headless" <<<"$r_out" && grep -q -- "--screenshot DIR" <<<"$r_out"
check "--help lists the options and exits 0" $? "status $r_status: $r_out"
app --headless --set chkALL=yes
[ "$r_status" = 2 ] && grep -q "a check box takes 0 or 1" <<<"$r_err"
check "a malformed option is refused with status 2" $? "status $r_status: $r_err"

# --- Two scripted servers: Main and Mirror ------------------------------------------------------------
list='pattern SELECT name FROM sys\.databases where database_id >= 5 order by name *'
printf 'login sa pwMain\n%s\n  columns name:nvarchar(128)\n  row Billing\n  row Payroll\n' "$list" >"$work/main.rules"
printf 'login sa pwMirror\n%s\n  columns name:nvarchar(128)\n  row Zeta\n' "$list" >"$work/mirror.rules"
port_main='' port_mirror=''
# Both encrypt every session with a certificate of a test authority (ca.pem), which the programs check
# against: Mandatory encryption, the default, with the certificate verified. Under Wine the driver is the
# host's FreeTDS, which reads the host's environment: the authority's file by its Linux path, and the
# driver configuration the Windows program writes into its configuration folder in the prefix.
mkdir -p "$work/tls-main" "$work/tls-mirror"
export QUORIX_CA_FILE=$work/ca.pem
export FREETDSCONF=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/quorix-dbtools/freetds.conf
start_server() { # start_server NAME: sets port_NAME
  "$server" --address 127.0.0.1 --port 0 --rules "$work/$1.rules" --record "$work/$1.rec" --tls "$work/tls-$1" \
    >"$work/$1.port" &
  pids+=($!)
  for _ in $(seq 100); do grep -q '^port ' "$work/$1.port" && break; sleep 0.1; done
  printf -v "port_$1" '%s' "$(sed -n 's/^port //p' "$work/$1.port")"
}
start_server main
start_server mirror
cat "$work/tls-main/ca.pem" "$work/tls-mirror/ca.pem" >"$work/ca.pem"
[ -n "$port_main" ] && [ -n "$port_mirror" ]
check "the scripted Main and Mirror listen (ports $port_main and $port_mirror)" $? "$(cat "$work"/*.port)"
key='HKCU\Software\VB and VBA Program Settings\quorix-dbtools'

# Each step runs the Linux build of the program first, then the Windows one, with the same options and
# each with its own remembered settings: the Windows program must print what the Linux one prints, exit
# as it does and send the servers the same batches (whose text the Linux suite pins to the letter).
linux_config=$work/linux-config
mkdir -p "$linux_config"
# A server records a connection's close after the program has gone: the record is read once every
# connection it saw has closed (10 s at most). settled [RECORD...]: Main's and the Mirror's by default.
settled() {
  local records=("$@")
  [ ${#records[@]} -gt 0 ] || records=("$work/main.rec" "$work/mirror.rec")
  for _ in $(seq 100); do
    awk -F'\t' '{ seen[FILENAME $1] = 1 } $2 == "disconnect" { closed[FILENAME $1] = 1 }
      END { for (c in seen) if (!(c in closed)) exit 1 }' "${records[@]}" && return
    sleep 0.1
  done
}
sent_since() { tail -n +"$(($2 + 1))" "$work/$1.rec" | sed -n "s/^[0-9]*\tbatch\t//p"; }
both() {
  local main_at mirror_at
  main_at=$(wc -l <"$work/main.rec") mirror_at=$(wc -l <"$work/mirror.rec")
  # The Linux program keeps its passwords in its settings file (this machine has no Secret Service): the
  # Windows one in the Credential Manager, which Wine implements.
  XDG_CONFIG_HOME=$linux_config QUORIX_PASSWORD_STORE=file run "$linux_exe" "$@"
  settled
  l_status=$r_status l_out=$r_out
  l_main=$(sent_since main "$main_at") l_mirror=$(sent_since mirror "$mirror_at")
  main_at=$(wc -l <"$work/main.rec") mirror_at=$(wc -l <"$work/mirror.rec")
  app "$@"
  settled
  w_main=$(sent_since main "$main_at") w_mirror=$(sent_since mirror "$mirror_at")
}
as_on_linux() { # the Windows run printed, returned and sent what the Linux run did
  [ "$r_status" = "$l_status" ] && [ "$r_out" = "$l_out" ] && [ "$w_main" = "$l_main" ] &&
    [ "$w_mirror" = "$l_mirror" ]
}
differences() {
  echo "status: Linux $l_status, Windows $r_status"
  diff <(echo "$l_out") <(echo "$r_out") | head -20
  diff <(echo "$l_main"; echo "$l_mirror") <(echo "$w_main"; echo "$w_mirror") | head -20
  echo "$r_err" | head -10
}

both --headless --set "txtServer(0)=127.0.0.1,$port_main" --set "txtPW(0)=pwMain" \
  --set "txtServer(1)=127.0.0.1,$port_mirror" --set "txtPW(1)=pwMirror" \
  --click "cmdRefreshDB(0)" --click "cmdRefreshDB(1)" --print "GridDB(0)" --print "GridDB(1)"
[ "$r_status" = 0 ] && [ "$(grep -c '^Connected\.$' <<<"$r_out")" = 2 ] && has "$r_out" Billing &&
  has "$r_out" Payroll && has "$r_out" Zeta && as_on_linux
check "both sessions connect through Wine's ODBC and FreeTDS and list each server's databases" $? \
  "$(differences)"

reg=$(winereg query "$key\\MIR" 2>&1 | tr -d '\r')
grep -Eq "txtServer0[[:space:]]+REG_SZ[[:space:]]+127\.0\.0\.1,$port_main\$" <<<"$reg" &&
  ! grep -Eq "DB[01][[:space:]]|pwMirror|pwMain" <<<"$reg"
check "the boxes are remembered in the registry under $key\\MIR, the passwords not" $? "$reg"
# Wine keeps the Credential Manager's entries under its own key, their secrets encrypted.
creds=$(winereg query 'HKCU\Software\Wine\Credential Manager' /s 2>&1 | tr -d '\r')
grep -qF 'quorix-dbtools/txtPW(0)' <<<"$creds" && grep -qF 'quorix-dbtools/txtPW(1)' <<<"$creds" &&
  ! grep -q "pwMirror" <<<"$creds"
check "the passwords are in the Credential Manager as quorix-dbtools/txtPW(0) and txtPW(1)" $? "$creds"

both --headless --print "GridDB(0)" --print "GridDB(1)" --set txtDB=Billing --click "cmdBackup(0)"
[ "$r_status" = 0 ] && [ "$(grep -c '^Connected\.$' <<<"$r_out")" = 2 ] && has "$r_out" Billing &&
  has "$r_out" Zeta && [ -n "$w_mirror" ]
check "after a restart both sessions connect with the remembered servers and passwords" $? "$(differences)"
[ "$(grep -c '^BACKUP .*Billing' <<<"$w_main")" = 2 ] && ! grep -q BACKUP <<<"$w_mirror" && as_on_linux
check "--click cmdBackup(0) sends Main the full and the log BACKUP, to the letter as on Linux, the Mirror none" \
  $? "$(differences)"
# The journal's lines are written by a thread of its own, which ends with the program.
journal=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/quorix-dbtools/journal
[ "$(cat "$journal"/journal-*.jsonl 2>/dev/null | grep -c '"statement":"BACKUP [^"]*Billing.*"outcome":"done"')" = 2 ]
check "the journal holds the two BACKUP statements, written by its own thread before the program ended" $? \
  "$(ls -la "$journal" 2>&1; tail -n 3 "$journal"/journal-*.jsonl 2>&1)"

app --headless --set "txtDB=Больница" --print txtDB
[ "$r_status" = 0 ] && has "$r_out" "Больница"
check "a Cyrillic database name typed on the command line arrives whole" $? "$r_out"

# A certificate no trusted authority signed is refused, with what the DBA needs to trust it.
QUORIX_CA_FILE=$work/tls-main/self-signed.pem app --headless --click "cmdConnect(0)"
grep -qF "The certificate of 127.0.0.1,$port_main was refused: it" <<<"$r_out" &&
  grep -qF -- "--trust-certificate 0=" <<<"$r_out" && ! has "$r_out" "Connected."
check "under Mandatory encryption a certificate of an authority not trusted is refused, its fingerprint shown" \
  $? "$r_out $r_err"

# A refused login: the driver's own text in the log, and a scheduled run that fails says so (status 3).
both --headless --set "txtPW(1)=wrong"
both --headless --set txtDB=Zeta --click "cmdBackup(1)"
[ "$r_status" = 3 ] && has "$r_out" "[FreeTDS][SQL Server]Login failed for user 'sa'." &&
  grep -q "server command(s) failed: see the log" <<<"$r_err" && as_on_linux
check "a refused login shows the driver's text and the run exits with 3, as on Linux" $? "$(differences)"
app --headless --set "txtPW(1)=pwMirror" --click "cmdTableSizes(1)" --click "GridDB(7)"
[ "$r_status" = 2 ] && grep -q "unknown control 'GridDB(7)'" <<<"$r_err"
check "an unknown control is refused with status 2 before anything runs" $? "status $r_status: $r_err"
app --headless --set "txtPW(1)=pwMirror" --click "File2(0)"
[ "$r_status" = 1 ] && grep -q "File2(0) has no current entry" <<<"$r_err"
check "a click with nothing to click exits with 1" $? "status $r_status: $r_err"

# --- A password an older version left in the registry moves into the Credential Manager ----------------
winereg add "$key\\MIR" /v DB1 /t REG_SZ /d "pwMirror" /f >/dev/null 2>&1
app --headless --click "cmdRefreshDB(1)" --print "GridDB(1)"
moved="Passwords moved from HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\quorix-dbtools into the credential store: txtPW(1)"
reg=$(winereg query "$key\\MIR" 2>&1 | tr -d '\r')
[ "$r_status" = 0 ] && [ "$(grep -cF -- "$moved" <<<"$r_out")" = 1 ] && has "$r_out" Zeta &&
  ! grep -q "pwMirror" <<<"$reg"
check "a plain password in the registry is moved into the Credential Manager, said once, and still logs in" $? \
  "status $r_status: $r_out $r_err $reg"
app --headless --print "txtPW(1)"
[ "$r_status" = 0 ] && ! grep -qF "Passwords moved" <<<"$r_out" && has "$r_out" "********"
check "the next start has nothing to move, and --print shows the password as ********" $? "$r_out"

# --- A damaged value: the key is set aside and the program starts with the defaults --------------------
winereg add "$key\\MIR" /v txtServer1 /t REG_SZ /d "@Variant(damaged)" /f >/dev/null 2>&1
app --headless --print "txtServer(0)"
problem="Settings HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\quorix-dbtools could not be read; starting with the defaults (the key was kept as HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\quorix-dbtools.bad)"
[ "$r_status" = 0 ] && grep -qF -- "$problem" <<<"$r_out$r_err" && ! grep -q "127.0.0.1" <<<"$r_out"
check "a serialized value in the registry counts as damage: defaults, and one line saying so" $? \
  "status $r_status: $r_out $r_err"
kept=$(winereg query "$key.bad\\MIR" 2>&1 | tr -d '\r')
grep -q "@Variant(damaged)" <<<"$kept" && grep -q "txtServer0" <<<"$kept"
check "the damaged key is kept as quorix-dbtools.bad for recovery by hand" $? "$kept"
app --headless --print "txtServer(0)"
[ "$r_status" = 0 ] && ! grep -q "could not be read" <<<"$r_out$r_err"
check "the next start finds nothing damaged" $? "$r_out $r_err"

# --- Copy table by record: the rows go through the driver's bulk copy, as on Linux ----------------------
# A server of its own, with a source table and its empty twin in the second database; no encryption.
cat >"$work/copy.rules" <<'RULES'
login sa pwCopy
databases master tempdb QRIX QRIX2
pattern SELECT name FROM sys\.databases where database_id >= 5 order by name *
  columns name:nvarchar(128)
  row QRIX
  row QRIX2
pattern \s*SELECT\s+t\.name AS TableName.*
  columns TableName:nvarchar(128) SchemaName:nvarchar(128) RowCounts:bigint TotalSpaceKB:bigint UsedSpaceKB:bigint UnusedSpaceKB:bigint
  row Patients|dbo|3|72|16|56
table QRIX..Patients
  columns id:int name:nvarchar(50)
  key id
  row 1|Zoë 漢字
  row 2|café
  row 3|NULL
table QRIX2..Patients
  columns id:int name:nvarchar(50)
  key id
RULES
"$server" --address 127.0.0.1 --port 0 --rules "$work/copy.rules" --record "$work/copy.rec" >"$work/copy.port" &
pids+=($!)
for _ in $(seq 100); do grep -q '^port ' "$work/copy.port" && break; sleep 0.1; done
port_copy=$(sed -n 's/^port //p' "$work/copy.port")
# A session already open stays with its server until Connect is pressed.
copy_steps=(--headless --set "txtPW(0)=pwCopy" --set "cboEncryption(0)=Optional"
  --set "txtServer(0)=127.0.0.1,$port_copy" --click "cmdConnect(0)" --click "cmdRefreshDB(0)" --select "GridDB(0)=0" --double-click "GridDB(0)"
  --select "Grid2=0" --click cmdCopyTables --print txtLog)
# What the program asked of the server, without connection numbers and closes.
copy_sent() { tail -n +"$(($1 + 1))" "$work/copy.rec" | awk -F'\t' '$2 != "login" && $2 != "disconnect"' | cut -f2-; }
at=$(wc -l <"$work/copy.rec")
XDG_CONFIG_HOME=$linux_config QUORIX_PASSWORD_STORE=file run "$linux_exe" "${copy_steps[@]}"
settled "$work/copy.rec"
l_status=$r_status l_out=$r_out l_err=$r_err l_sent=$(copy_sent "$at")
at=$(wc -l <"$work/copy.rec")
app "${copy_steps[@]}"
settled "$work/copy.rec"
w_sent=$(copy_sent "$at")
[ "$r_status" = 0 ] && [ "$l_status" = 0 ] && has "$r_out" "copied 3" && has "$r_out" "errors 0" &&
  has "$w_sent" "bulk load	QRIX2.dbo.Patients	rows=3" && [ "$w_sent" = "$l_sent" ]
check "Copy table by record loads the rows through the driver's bulk copy, sending what Linux sends" $? \
  "status: Linux $l_status, Windows $r_status
$(diff <(echo "$l_sent") <(echo "$w_sent") | head -20)
Linux: $(tail -n 20 <<<"$l_out$l_err")
Windows: $(tail -n 20 <<<"$r_out$r_err")"
app --headless --set "txtServer(0)="

# --- Local folders through the shares layer: the Restore Dir lists and a rename -------------------------
bak=$WINEPREFIX/drive_c/bak
mkdir -p "$bak"
touch "$bak/Billing_20150101.bak" "$bak/Payroll_20161231.bak" "$bak/Billing.mdf" "$bak/notes.txt"
app --headless --set 'txtRestoreDir=C:\bak\' --set SSTab1=5 --print "File2(0)" --print "File2(1)" \
  --click "cmdRenameDir(0)" --print "File2(0)"
listed=$(grep -E '^[A-Za-z0-9_]+\.(bak|mdf)$' <<<"$r_out")
[ "$r_status" = 0 ] && [ "$listed" = "$(printf '%s\n' Billing_20150101.bak Payroll_20161231.bak Billing.mdf \
  Billing.bak Payroll.bak)" ]
check "File2 lists the .bak and the .mdf files of C:\\bak\\, and after Rename files the cut names" $? \
  "status $r_status: $r_out $r_err"
[ "$(cd "$bak" && ls | sort | tr '\n' ' ')" = "Billing.bak Billing.mdf Payroll.bak notes.txt " ]
check "the files were renamed on disk, the others left alone" $? "$(ls "$bak")"

# --- Screenshots under the windows platform plugin ------------------------------------------------------
shots=$work/shots
mkdir -p "$shots"
WINEQT_QPA_PLATFORM=windows run wine "$exe" --headless --screenshot "Z:${shots//\//\\}"
count=$(find "$shots" -name 'SSTab1-*.png' -size +2k | wc -l)
[ "$r_status" = 0 ] && [ "$count" = 15 ] && [ -f "$shots/SSTab1-14-Status.png" ]
check "--screenshot under the windows platform plugin renders all 15 tabs" $? "status $r_status: $r_err
$(ls "$shots")"

# Headless, the program draws offscreen with the fonts of C:\Windows\Fonts.
mkdir -p "$shots/offscreen"
WINEQT_FORCE_STDERR_LOGGING=1 run wine "$exe" --headless --screenshot "Z:${shots//\//\\}\\offscreen"
count=$(find "$shots/offscreen" -name 'SSTab1-*.png' -size +2k | wc -l)
[ "$r_status" = 0 ] && [ "$count" = 15 ] && ! grep -q "Cannot find font directory" <<<"$r_err"
check "a headless --screenshot draws offscreen with the fonts of C:\\Windows\\Fonts" $? "status $r_status: $r_err"

# --- The installer: per machine, Start-menu entry, uninstaller ---------------------------------------
run wine "$setup" /S
timeout 120 wineserver -w
installed="$WINEPREFIX/drive_c/Program Files/QUORIX DB Tools"
link="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/QUORIX DB Tools.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QUORIX DB Tools'
entry=$(winereg query "$uninstall_key" /v DisplayVersion 2>&1 | tr -d '\r')
[ "$r_status" = 0 ] && [ -f "$installed/quorix-dbtools.exe" ] && [ -f "$installed/platforms/qwindows.dll" ] &&
  [ -f "$installed/uninstall.exe" ] && [ -f "$link" ] && grep -q "REG_SZ[[:space:]]*$version" <<<"$entry"
check "the installer puts the program under Program Files, a Start-menu entry and its uninstall entry ($version)" $? \
  "status $r_status; $(ls "$installed" 2>&1); $entry"
run wine "$installed/quorix-dbtools.exe" --version
[ "$r_out" = "quorix-dbtools $version" ]
check "the installed program runs" $? "$r_out"
run wine "$installed/uninstall.exe" /S
timeout 120 wineserver -w
[ ! -e "$installed" ] && [ ! -e "$link" ] && ! winereg query "$uninstall_key" >/dev/null 2>&1
check "the uninstaller removes the program, its folder, the Start-menu entry and the uninstall entry" $? \
  "$(find "$installed" 2>&1 | head)"

# --- Start-up time under Wine (a figure, not a check) -------------------------------------------------
for i in 1 2 3; do
  t0=$(ms)
  report=$(WINEQT_QPA_PLATFORM=windows QUORIX_STARTUP_PROBE=1 timeout 300 wine "$exe" 2>/dev/null | tr -d '\r')
  wall=$(($(ms) - t0))
  echo "start-up under Wine, run $i: $(tr '\n' ';' <<<"$report" | sed 's/;$//'); wine to exit ${wall} ms"
done

echo "Windows program under Wine: $passed passed, $failed failed"
[ "$failed" = 0 ]
