// The desktop program as main() starts it. The windows live in ui/, which defines this, so
// nothing in app/ needs a header of ui/.
#pragma once

// Runs the desktop program: one instance at a time owns the settings and log files beside the
// program (a second one shows an error box and returns QV_EXIT_INSTANCE); returns the exit
// status of the event loop otherwise.
int QvRunDesktop(int argc, char** argv, const char* title);
