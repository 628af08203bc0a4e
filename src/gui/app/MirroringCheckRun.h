#pragma once

// quorix-dbtools --check-mirroring: the Status tab's reading of both servers, without a window, judged for
// a monitoring system (status/MirroringCheck). Each server is the one --main-server / --mirror-server
// names, else QUORIX_MAIN_SERVER / QUORIX_MIRROR_SERVER, else the remembered server box; each password is
// QUORIX_MAIN_PW / QUORIX_MIRROR_PW, else the remembered PW box, so no secret needs to stand in a command
// line; each login --main-login / --mirror-login, else QUORIX_MAIN_LOGIN / QUORIX_MIRROR_LOGIN, else the
// remembered login box; encryption and Windows authentication as the window remembers them. Nothing is
// written to the settings store (a certificate given with --trust-certificate is kept like the window's).

namespace quorix {

struct AutomationPlan;

// Prints the plugin output to stdout and returns the exit status (0 OK ... 3 UNKNOWN). Needs an
// application object (QCoreApplication will do) for the settings store's name.
int runMirroringCheck(const AutomationPlan &plan);

} // namespace quorix
