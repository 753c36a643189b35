// How the viewer introduces itself to the desktop: its name and version, the desktop entry it
// belongs to (so a Wayland shell finds its icon and groups its windows), and the window icon.
#pragma once

#include <QIcon>

namespace vt {

// The program's icon: the installed theme's "vantrelle" when there is one, else the copies built
// into the program (48 and 128 pixels).
QIcon ApplicationIcon();

// Sets the application's name, version, desktop file name and window icon. Needs a
// QGuiApplication.
void SetUpApplicationIdentity(const char* version);

}  // namespace vt
