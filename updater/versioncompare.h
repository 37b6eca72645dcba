#pragma once

#include <QString>

// Dotted versions are weighted into one integer per side: every part after the first is
// written with as many digits as the longer of the two versions uses at that position.

// True when a is newer than b on major.minor.
bool CompareMajorMinor(const QString& a, const QString& b);

// True when a is at least b on all four parts.
bool CompareVersion(const QString& a, const QString& b);
