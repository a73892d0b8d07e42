// The desktop program as main() starts it. The windows live in ui/, which defines this, so
// nothing in app/ needs a header of ui/.
#pragma once

#include "app/QvCmdLine.h"

// Runs the desktop program: an unusable argument (args.Error) goes to standard error and an
// error box, and ends it with QV_EXIT_USAGE; one instance at a time owns the settings and log
// files beside the program (a second one shows an error box and returns QV_EXIT_INSTANCE);
// otherwise returns the exit status of the event loop.
int QvRunDesktop(int argc, char** argv, const char* title, const TQvHeadlessArgs& args);
