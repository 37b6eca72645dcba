#pragma once

#include <QString>

// Copies source over destination without ever leaving the destination missing: the copy goes
// to a temporary file in the destination's folder and is renamed over it only when complete.
// The new file keeps the old destination's permissions (the source's when there was none).
// With keep true an existing destination is left alone and the call fails.
// A source that already is the destination counts as installed.
bool ReplaceFile(const QString& source, const QString& destination, bool keep);
