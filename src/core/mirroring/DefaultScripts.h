#pragma once

// The scripts the four script boxes show at every start: certificate, endpoint and login set-up on Main
// (defaultCreateScript(1)), on the Mirror (2) and again on Main (3), and "Reset Mirroring" (0), which
// drops those objects on both servers. Lines are joined with "\n", as a plain-text editor holds them.

#include <QString>

namespace quorix {

// Script of box index 0..3; any other index gives an empty text.
QString defaultMirroringScript(int index);

QString defaultResetScript();        // box 0, run on both servers
QString defaultMainCreateScript();   // box 1, run on Main first; exports SERVER1.cer
QString defaultMirrorCreateScript(); // box 2, run on the Mirror; exports SERVER2.cer, imports SERVER1.cer
QString defaultMainFinishScript();   // box 3, run on Main last; imports SERVER2.cer

} // namespace quorix
