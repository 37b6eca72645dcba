// Installation of the deblocking edge filter table.
#include "deblock.h"

deblock_fn deblock_funcs[N_DEBLOCK_KINDS][N_DEBLOCK_ROWS];
deblock_pair_fn deblock_pair_funcs[N_DEBLOCK_PAIR_KINDS][N_DEBLOCK_ROWS];

void deblock_init(uint32_t cpu_flags)
{
    deblock_funcs[DEBLOCK_LUMA_V][DEBLOCK_ROW_8BIT] = deblock_luma_v;
    deblock_funcs[DEBLOCK_LUMA_H][DEBLOCK_ROW_8BIT] = deblock_luma_h;
    deblock_funcs[DEBLOCK_CHROMA_V][DEBLOCK_ROW_8BIT] = deblock_chroma_v;
    deblock_funcs[DEBLOCK_CHROMA_H][DEBLOCK_ROW_8BIT] = deblock_chroma_h;

    deblock_funcs[DEBLOCK_LUMA_V][DEBLOCK_ROW_10BIT] = deblock_luma_v_10bit;
    deblock_funcs[DEBLOCK_LUMA_H][DEBLOCK_ROW_10BIT] = deblock_luma_h_10bit;
    deblock_funcs[DEBLOCK_CHROMA_V][DEBLOCK_ROW_10BIT] = deblock_chroma_v_10bit;
    deblock_funcs[DEBLOCK_CHROMA_H][DEBLOCK_ROW_10BIT] = deblock_chroma_h_10bit;

    deblock_pair_funcs[DEBLOCK_CHROMA_PAIR_V][DEBLOCK_ROW_8BIT] = deblock_chroma_pair_v;
    deblock_pair_funcs[DEBLOCK_CHROMA_PAIR_H][DEBLOCK_ROW_8BIT] = deblock_chroma_pair_h;
    deblock_pair_funcs[DEBLOCK_CHROMA_PAIR_V][DEBLOCK_ROW_10BIT] = deblock_chroma_pair_v_10bit;
    deblock_pair_funcs[DEBLOCK_CHROMA_PAIR_H][DEBLOCK_ROW_10BIT] = deblock_chroma_pair_h_10bit;

    deblock_init_ssse3(cpu_flags);
}

void deblock_init_ssse3(uint32_t cpu_flags)
{
    if (!(cpu_flags & 0x80))
        return;
    deblock_funcs[DEBLOCK_LUMA_V][DEBLOCK_ROW_8BIT] = deblock_luma_v_ssse3;
    deblock_funcs[DEBLOCK_LUMA_H][DEBLOCK_ROW_8BIT] = deblock_luma_h_ssse3;
    deblock_pair_funcs[DEBLOCK_CHROMA_PAIR_V][DEBLOCK_ROW_8BIT] = deblock_chroma_pair_v_ssse3;
    deblock_pair_funcs[DEBLOCK_CHROMA_PAIR_H][DEBLOCK_ROW_8BIT] = deblock_chroma_pair_h_ssse3;
}
