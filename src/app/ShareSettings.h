#pragma once

// What the shares layer takes from the window: the account of a server (from the slot whose server box
// names it), the log pane for its lines, and the settings store (section "Drives") for the drive table.

namespace quorix {

struct Form;

// Installs the three for this window; called once by frmMain. The window must outlive the shares calls.
void connectSharesToWindow(const Form &form);
void disconnectSharesFromWindow();

} // namespace quorix
