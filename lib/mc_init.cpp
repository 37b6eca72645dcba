// Installation of the motion-compensation and padding tables.
#include "mc.h"
#include "mc_kernels.h"
#include "mc_tmpl.h"
#include "x86/mc_ssse3.h"

luma_mc_fn luma_mc_put_funcs[N_MC_ROWS][N_LUMA_MC_SIZES][N_LUMA_MC_POSITIONS];
luma_mc_fn luma_mc_avg_funcs[N_MC_ROWS][N_LUMA_MC_SIZES][N_LUMA_MC_POSITIONS];
chroma_mc_fn chroma_mc_put_funcs[N_MC_ROWS][N_CHROMA_MC_WIDTHS];
chroma_mc_fn chroma_mc_avg_funcs[N_MC_ROWS][N_CHROMA_MC_WIDTHS];
chroma_mc_cbcr_fn chroma_mc_cbcr_put_funcs[N_MC_ROWS][N_CHROMA_CBCR_WIDTHS];
chroma_mc_cbcr_fn chroma_mc_cbcr_avg_funcs[N_MC_ROWS][N_CHROMA_CBCR_WIDTHS];
pad_ref_fn pad_ref_block_funcs[N_PAD_REF_SLOTS];

void mc_init(uint32_t cpu_flags)
{
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][0] = luma_mc_put16x16_pos0;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][1] = luma_mc_put16x16_pos1;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][2] = luma_mc_put16x16_pos2;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][3] = luma_mc_put16x16_pos3;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][4] = luma_mc_put16x16_pos4;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][5] = luma_mc_put16x16_pos5;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][6] = luma_mc_put16x16_pos6;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][7] = luma_mc_put16x16_pos7;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][8] = luma_mc_put16x16_pos8;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][9] = luma_mc_put16x16_pos9;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][10] = luma_mc_put16x16_pos10;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][11] = luma_mc_put16x16_pos11;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][12] = luma_mc_put16x16_pos12;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][13] = luma_mc_put16x16_pos13;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][14] = luma_mc_put16x16_pos14;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][15] = luma_mc_put16x16_pos15;

    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][0] = luma_mc_put8x8_pos0;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][1] = luma_mc_put8x8_pos1;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][2] = luma_mc_put8x8_pos2;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][3] = luma_mc_put8x8_pos3;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][4] = luma_mc_put8x8_pos4;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][5] = luma_mc_put8x8_pos5;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][6] = luma_mc_put8x8_pos6;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][7] = luma_mc_put8x8_pos7;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][8] = luma_mc_put8x8_pos8;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][9] = luma_mc_put8x8_pos9;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][10] = luma_mc_put8x8_pos10;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][11] = luma_mc_put8x8_pos11;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][12] = luma_mc_put8x8_pos12;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][13] = luma_mc_put8x8_pos13;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][14] = luma_mc_put8x8_pos14;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][15] = luma_mc_put8x8_pos15;

    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][0] = luma_mc_avg16x16_pos0;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][1] = luma_mc_avg16x16_pos1;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][2] = luma_mc_avg16x16_pos2;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][3] = luma_mc_avg16x16_pos3;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][4] = luma_mc_avg16x16_pos4;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][5] = luma_mc_avg16x16_pos5;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][6] = luma_mc_avg16x16_pos6;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][7] = luma_mc_avg16x16_pos7;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][8] = luma_mc_avg16x16_pos8;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][9] = luma_mc_avg16x16_pos9;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][10] = luma_mc_avg16x16_pos10;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][11] = luma_mc_avg16x16_pos11;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][12] = luma_mc_avg16x16_pos12;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][13] = luma_mc_avg16x16_pos13;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][14] = luma_mc_avg16x16_pos14;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][15] = luma_mc_avg16x16_pos15;

    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][0] = luma_mc_avg8x8_pos0;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][1] = luma_mc_avg8x8_pos1;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][2] = luma_mc_avg8x8_pos2;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][3] = luma_mc_avg8x8_pos3;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][4] = luma_mc_avg8x8_pos4;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][5] = luma_mc_avg8x8_pos5;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][6] = luma_mc_avg8x8_pos6;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][7] = luma_mc_avg8x8_pos7;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][8] = luma_mc_avg8x8_pos8;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][9] = luma_mc_avg8x8_pos9;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][10] = luma_mc_avg8x8_pos10;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][11] = luma_mc_avg8x8_pos11;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][12] = luma_mc_avg8x8_pos12;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][13] = luma_mc_avg8x8_pos13;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][14] = luma_mc_avg8x8_pos14;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][15] = luma_mc_avg8x8_pos15;

    chroma_mc_put_funcs[MC_ROW_8BIT][CHROMA_MC_W8] = chroma_mc_put8;
    chroma_mc_put_funcs[MC_ROW_8BIT][CHROMA_MC_W4] = chroma_mc_put4;
    chroma_mc_put_funcs[MC_ROW_8BIT][CHROMA_MC_W2] = chroma_mc_put2;
    chroma_mc_put_funcs[MC_ROW_8BIT][CHROMA_MC_W1] = chroma_mc_put1;

    chroma_mc_avg_funcs[MC_ROW_8BIT][CHROMA_MC_W8] = chroma_mc_avg8;
    chroma_mc_avg_funcs[MC_ROW_8BIT][CHROMA_MC_W4] = chroma_mc_avg4;
    chroma_mc_avg_funcs[MC_ROW_8BIT][CHROMA_MC_W2] = chroma_mc_avg2;
    chroma_mc_avg_funcs[MC_ROW_8BIT][CHROMA_MC_W1] = chroma_mc_avg1;

    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][0] = luma_mc_put16x16_pos0_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][1] = luma_mc_put16x16_pos1_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][2] = luma_mc_put16x16_pos2_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][3] = luma_mc_put16x16_pos3_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][4] = luma_mc_put16x16_pos4_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][5] = luma_mc_put16x16_pos5_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][6] = luma_mc_put16x16_pos6_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][7] = luma_mc_put16x16_pos7_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][8] = luma_mc_put16x16_pos8_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][9] = luma_mc_put16x16_pos9_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][10] = luma_mc_put16x16_pos10_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][11] = luma_mc_put16x16_pos11_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][12] = luma_mc_put16x16_pos12_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][13] = luma_mc_put16x16_pos13_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][14] = luma_mc_put16x16_pos14_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_16X16][15] = luma_mc_put16x16_pos15_10bit;

    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][0] = luma_mc_put8x8_pos0_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][1] = luma_mc_put8x8_pos1_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][2] = luma_mc_put8x8_pos2_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][3] = luma_mc_put8x8_pos3_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][4] = luma_mc_put8x8_pos4_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][5] = luma_mc_put8x8_pos5_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][6] = luma_mc_put8x8_pos6_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][7] = luma_mc_put8x8_pos7_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][8] = luma_mc_put8x8_pos8_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][9] = luma_mc_put8x8_pos9_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][10] = luma_mc_put8x8_pos10_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][11] = luma_mc_put8x8_pos11_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][12] = luma_mc_put8x8_pos12_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][13] = luma_mc_put8x8_pos13_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][14] = luma_mc_put8x8_pos14_10bit;
    luma_mc_put_funcs[MC_ROW_10BIT][LUMA_MC_8X8][15] = luma_mc_put8x8_pos15_10bit;

    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][0] = luma_mc_avg16x16_pos0_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][1] = luma_mc_avg16x16_pos1_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][2] = luma_mc_avg16x16_pos2_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][3] = luma_mc_avg16x16_pos3_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][4] = luma_mc_avg16x16_pos4_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][5] = luma_mc_avg16x16_pos5_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][6] = luma_mc_avg16x16_pos6_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][7] = luma_mc_avg16x16_pos7_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][8] = luma_mc_avg16x16_pos8_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][9] = luma_mc_avg16x16_pos9_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][10] = luma_mc_avg16x16_pos10_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][11] = luma_mc_avg16x16_pos11_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][12] = luma_mc_avg16x16_pos12_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][13] = luma_mc_avg16x16_pos13_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][14] = luma_mc_avg16x16_pos14_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_16X16][15] = luma_mc_avg16x16_pos15_10bit;

    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][0] = luma_mc_avg8x8_pos0_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][1] = luma_mc_avg8x8_pos1_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][2] = luma_mc_avg8x8_pos2_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][3] = luma_mc_avg8x8_pos3_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][4] = luma_mc_avg8x8_pos4_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][5] = luma_mc_avg8x8_pos5_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][6] = luma_mc_avg8x8_pos6_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][7] = luma_mc_avg8x8_pos7_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][8] = luma_mc_avg8x8_pos8_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][9] = luma_mc_avg8x8_pos9_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][10] = luma_mc_avg8x8_pos10_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][11] = luma_mc_avg8x8_pos11_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][12] = luma_mc_avg8x8_pos12_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][13] = luma_mc_avg8x8_pos13_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][14] = luma_mc_avg8x8_pos14_10bit;
    luma_mc_avg_funcs[MC_ROW_10BIT][LUMA_MC_8X8][15] = luma_mc_avg8x8_pos15_10bit;

    chroma_mc_put_funcs[MC_ROW_10BIT][CHROMA_MC_W8] = chroma_mc_put8_10bit;
    chroma_mc_put_funcs[MC_ROW_10BIT][CHROMA_MC_W4] = chroma_mc_put4_10bit;
    chroma_mc_put_funcs[MC_ROW_10BIT][CHROMA_MC_W2] = chroma_mc_put2_10bit;
    chroma_mc_put_funcs[MC_ROW_10BIT][CHROMA_MC_W1] = chroma_mc_put1_10bit;

    chroma_mc_avg_funcs[MC_ROW_10BIT][CHROMA_MC_W8] = chroma_mc_avg8_10bit;
    chroma_mc_avg_funcs[MC_ROW_10BIT][CHROMA_MC_W4] = chroma_mc_avg4_10bit;
    chroma_mc_avg_funcs[MC_ROW_10BIT][CHROMA_MC_W2] = chroma_mc_avg2_10bit;
    chroma_mc_avg_funcs[MC_ROW_10BIT][CHROMA_MC_W1] = chroma_mc_avg1_10bit;

    chroma_mc_cbcr_put_funcs[MC_ROW_8BIT][CHROMA_CBCR_W8] = mc::chroma_mc_cbcr<uint8_t, 8, mc::PUT>;
    chroma_mc_cbcr_put_funcs[MC_ROW_8BIT][CHROMA_CBCR_W4] = mc::chroma_mc_cbcr<uint8_t, 4, mc::PUT>;
    chroma_mc_cbcr_avg_funcs[MC_ROW_8BIT][CHROMA_CBCR_W8] = mc::chroma_mc_cbcr<uint8_t, 8, mc::AVG>;
    chroma_mc_cbcr_avg_funcs[MC_ROW_8BIT][CHROMA_CBCR_W4] = mc::chroma_mc_cbcr<uint8_t, 4, mc::AVG>;
    chroma_mc_cbcr_put_funcs[MC_ROW_10BIT][CHROMA_CBCR_W8] = mc::chroma_mc_cbcr<uint16_t, 8, mc::PUT>;
    chroma_mc_cbcr_put_funcs[MC_ROW_10BIT][CHROMA_CBCR_W4] = mc::chroma_mc_cbcr<uint16_t, 4, mc::PUT>;
    chroma_mc_cbcr_avg_funcs[MC_ROW_10BIT][CHROMA_CBCR_W8] = mc::chroma_mc_cbcr<uint16_t, 8, mc::AVG>;
    chroma_mc_cbcr_avg_funcs[MC_ROW_10BIT][CHROMA_CBCR_W4] = mc::chroma_mc_cbcr<uint16_t, 4, mc::AVG>;

    pad_ref_block_funcs[PAD_REF_8BIT] = pad_ref_block_8bit;
    pad_ref_block_funcs[PAD_REF_16BIT] = pad_ref_block_10bit;

    mc_init_ssse3(cpu_flags);
}

// Row 0 only: every luma position of both sizes but the full-sample put, chroma widths 8, 4
// and 2, both-plane chroma widths 8 and 4. Chroma width 1, row 2 and the padding routines
// keep their portable kernels.
void mc_init_ssse3(uint32_t cpu_flags)
{
    if (!(cpu_flags & 0x80))
        return;

    // The full-sample copies (put, position 0) keep their portable kernels: the same loads and
    // stores either way.
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][1] = luma_mc16_put_ssse3_qpel_10;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][2] = luma_mc16_put_ssse3_qpel_20;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][3] = luma_mc16_put_ssse3_qpel_30;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][4] = luma_mc16_put_ssse3_qpel_01;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][5] = luma_mc16_put_ssse3_qpel_11;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][6] = luma_mc16_put_ssse3_qpel_21;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][7] = luma_mc16_put_ssse3_qpel_31;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][8] = luma_mc16_put_ssse3_qpel_02;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][9] = luma_mc16_put_ssse3_qpel_12;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][10] = luma_mc16_put_ssse3_qpel_22;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][11] = luma_mc16_put_ssse3_qpel_32;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][12] = luma_mc16_put_ssse3_qpel_03;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][13] = luma_mc16_put_ssse3_qpel_13;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][14] = luma_mc16_put_ssse3_qpel_23;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][15] = luma_mc16_put_ssse3_qpel_33;

    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][1] = luma_mc8_put_ssse3_qpel_10;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][2] = luma_mc8_put_ssse3_qpel_20;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][3] = luma_mc8_put_ssse3_qpel_30;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][4] = luma_mc8_put_ssse3_qpel_01;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][5] = luma_mc8_put_ssse3_qpel_11;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][6] = luma_mc8_put_ssse3_qpel_21;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][7] = luma_mc8_put_ssse3_qpel_31;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][8] = luma_mc8_put_ssse3_qpel_02;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][9] = luma_mc8_put_ssse3_qpel_12;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][10] = luma_mc8_put_ssse3_qpel_22;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][11] = luma_mc8_put_ssse3_qpel_32;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][12] = luma_mc8_put_ssse3_qpel_03;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][13] = luma_mc8_put_ssse3_qpel_13;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][14] = luma_mc8_put_ssse3_qpel_23;
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_8X8][15] = luma_mc8_put_ssse3_qpel_33;

    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][0] = luma_mc16_avg_ssse3_qpel_00;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][1] = luma_mc16_avg_ssse3_qpel_10;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][2] = luma_mc16_avg_ssse3_qpel_20;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][3] = luma_mc16_avg_ssse3_qpel_30;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][4] = luma_mc16_avg_ssse3_qpel_01;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][5] = luma_mc16_avg_ssse3_qpel_11;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][6] = luma_mc16_avg_ssse3_qpel_21;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][7] = luma_mc16_avg_ssse3_qpel_31;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][8] = luma_mc16_avg_ssse3_qpel_02;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][9] = luma_mc16_avg_ssse3_qpel_12;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][10] = luma_mc16_avg_ssse3_qpel_22;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][11] = luma_mc16_avg_ssse3_qpel_32;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][12] = luma_mc16_avg_ssse3_qpel_03;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][13] = luma_mc16_avg_ssse3_qpel_13;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][14] = luma_mc16_avg_ssse3_qpel_23;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_16X16][15] = luma_mc16_avg_ssse3_qpel_33;

    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][0] = luma_mc8_avg_ssse3_qpel_00;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][1] = luma_mc8_avg_ssse3_qpel_10;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][2] = luma_mc8_avg_ssse3_qpel_20;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][3] = luma_mc8_avg_ssse3_qpel_30;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][4] = luma_mc8_avg_ssse3_qpel_01;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][5] = luma_mc8_avg_ssse3_qpel_11;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][6] = luma_mc8_avg_ssse3_qpel_21;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][7] = luma_mc8_avg_ssse3_qpel_31;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][8] = luma_mc8_avg_ssse3_qpel_02;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][9] = luma_mc8_avg_ssse3_qpel_12;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][10] = luma_mc8_avg_ssse3_qpel_22;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][11] = luma_mc8_avg_ssse3_qpel_32;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][12] = luma_mc8_avg_ssse3_qpel_03;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][13] = luma_mc8_avg_ssse3_qpel_13;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][14] = luma_mc8_avg_ssse3_qpel_23;
    luma_mc_avg_funcs[MC_ROW_8BIT][LUMA_MC_8X8][15] = luma_mc8_avg_ssse3_qpel_33;

    chroma_mc_put_funcs[MC_ROW_8BIT][CHROMA_MC_W8] = chroma_mc8_put_ssse3;
    chroma_mc_put_funcs[MC_ROW_8BIT][CHROMA_MC_W4] = chroma_mc4_put_ssse3;
    chroma_mc_avg_funcs[MC_ROW_8BIT][CHROMA_MC_W8] = chroma_mc8_avg_ssse3;
    chroma_mc_avg_funcs[MC_ROW_8BIT][CHROMA_MC_W4] = chroma_mc4_avg_ssse3;
    chroma_mc_put_funcs[MC_ROW_8BIT][CHROMA_MC_W2] = chroma_mc2_put_ssse3;
    chroma_mc_avg_funcs[MC_ROW_8BIT][CHROMA_MC_W2] = chroma_mc2_avg_ssse3;

    chroma_mc_cbcr_put_funcs[MC_ROW_8BIT][CHROMA_CBCR_W8] = chroma_mc8_cbcr_put_ssse3;
    chroma_mc_cbcr_put_funcs[MC_ROW_8BIT][CHROMA_CBCR_W4] = chroma_mc4_cbcr_put_ssse3;
    chroma_mc_cbcr_avg_funcs[MC_ROW_8BIT][CHROMA_CBCR_W8] = chroma_mc8_cbcr_avg_ssse3;
    chroma_mc_cbcr_avg_funcs[MC_ROW_8BIT][CHROMA_CBCR_W4] = chroma_mc4_cbcr_avg_ssse3;
}
