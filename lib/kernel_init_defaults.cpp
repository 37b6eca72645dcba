// Empty installers for kernel families not linked into this build; a family's own installer
// replaces its default at link time.
#include "dsp_init.h"

__attribute__((weak)) void mc_init(uint32_t) {}
__attribute__((weak)) void deblock_init(uint32_t) {}
__attribute__((weak)) void intra_pred_init(uint32_t) {}
