#pragma once

#include <QString>

// The application folder: every settings file lies in its "config" sub-folder,
// translations in "language". Set once at start (tests set their own).
namespace AppFolder {

void Set(const QString& folder);
QString Path();
// Path() + "/config/" + name + ".ini".
QString SettingsFile(const QString& name);
// The executable's base name, used in the clipboard prefix and the keys the
// updaters read.
QString ApplicationName();

}  // namespace AppFolder
