// Installers of the kernel tables. Each stores its family's portable kernels, then lets its
// SSSE3 selector replace the 8-bit entries when bit 0x80 of the CPU flag word is set.
#pragma once
#include <cstdint>

void mc_init(uint32_t cpu_flags);
void idct_init(uint32_t cpu_flags);
void deblock_init(uint32_t cpu_flags);
void intra_pred_init(uint32_t cpu_flags);
void coef_init(uint32_t cpu_flags);
