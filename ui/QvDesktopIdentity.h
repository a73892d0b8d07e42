// The desktop program's identity with the window system: the application's name and icon, as
// the program sets them at start-up (tests set them the same way).
#pragma once

void QvSetDesktopIdentity(const char* title);
