// Process-wide state behind the exported functions.
#pragma once
#include <cstdint>

// 1 once ZQ_SVAC_Dec_Init has run; never cleared.
extern int32_t svac_lib_initialised;
