#pragma once

// Text comparisons and encoding conversion. Texts are UTF-8.

#include <QByteArray>

#include <string>

namespace Tolvane {

bool StringEqualsQt(const std::string& a, const std::string& b, bool ignoreCase);
// False when either is null, else byte-wise equality.
bool StringEqualsNoNull(const char* a, const char* b);
std::string ToLowerStdString(const std::string& text);
// UTF-8 to the local 8-bit encoding that the file helpers read; unchanged when
// that encoding is UTF-8.
QByteArray Utf8ToLocal8Bit(const QByteArray& utf8);
// The same for a C text; empty for null.
std::string Utf8ToLocal8BitStd(const char* utf8);

} // namespace Tolvane
