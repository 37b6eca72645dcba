#pragma once

#include <QString>

// Settings read once at start.
namespace StartupSettings {

// "App/SetupVersion" of version.ini, read at start and kept.
QString ReadSetupVersion();
QString SetupVersion();

// "App/Language" of setting.ini; empty or missing gives "zh-cn".
QString ReadLanguage();
// Application folder + "/language/" + the language in lower case + ".qm".
QString GetLanguageFilePath(const QString& language);
// "zh-cn": the CJK family at 12 px; otherwise the Lato font file of the
// application folder when it loads; else the font stays.
void SetApplicationFont(const QString& language);

// "App/CompatibilityMode" when stored; otherwise true exactly when no
// compositing manager runs.
bool ReadCompatibilityMode(bool compositingManagerRunning);
// Whether a compositing manager runs on this display (never offscreen or on
// Wayland).
bool CompositingManagerRunning();

}  // namespace StartupSettings
