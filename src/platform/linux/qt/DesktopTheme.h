#pragma once
// Quoddle's windows in the desktop's light or dark look. Qt on X11 without the desktop's own platform
// theme draws light whatever the desktop says, so the dark preference is read where desktops keep it.

class QApplication;

namespace quoddle {

// GNOME's and GTK's colour scheme (org.gnome.desktop.interface color-scheme "prefer-dark", a GTK theme
// named dark, GTK_THEME=...:dark) and KDE's colour scheme (a scheme named dark in kdeglobals).
bool desktopPrefersDark();

// Gives the application a dark palette when the desktop prefers dark; nothing otherwise.
void followDesktopTheme(QApplication& application);

} // namespace quoddle
