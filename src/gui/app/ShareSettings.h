#pragma once

// The shares layer keeps its drive table (drive letter -> share and account name) in the window's settings
// store, section "Drives", so a mapping outlives the run as a remembered mapping does. Accounts and log
// lines are given to the shares layer by its own feature (NetworkShares).

namespace quorix {

struct Form;

// Installs the store for this window; called once by frmMain. disconnect restores the in-memory table.
void connectSharesToWindow(const Form &form);
void disconnectSharesFromWindow();

} // namespace quorix
