#pragma once

#include <QString>

// The script every page gets at document creation: the web channel client and
// window.nativeBridge over it.
QString PageApiScript();
