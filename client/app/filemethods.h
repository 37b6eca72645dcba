#pragma once

#include <string>

// Free functions the page may call. Files are written only where the user
// chose (ChosenPaths); anything else answers false, as a failed write does.

// Creates the file when missing, keeping its content.
bool creatFileToDevice(std::string fileName);
// Writes item (UTF-8) to the file, appended or replacing the content.
bool writeFileToDevice(std::string fileName, std::string item, bool append);
// Opens an http or https address with the desktop's handler.
bool openUrlByBrowser(std::string url);
