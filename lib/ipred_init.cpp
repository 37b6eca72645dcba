// Installation of the intra prediction and upsampling tables.
#include "ipred.h"

intra_pred_fn intra_pred4x4_funcs[N_INTRA_ROWS][N_INTRA_LUMA_MODES];
intra_pred_fn intra_pred8x8_funcs[N_INTRA_ROWS][N_INTRA_LUMA_MODES];
intra_pred_fn intra_pred_chroma_funcs[N_INTRA_ROWS][N_INTRA_CHROMA_MODES];
upsample_fn intra_pred_multi_funcs[N_INTRA_ROWS];
upsample_fn intra_pred_multi_chroma_funcs[N_INTRA_ROWS];

void intra_pred_init(uint32_t cpu_flags)
{
    intra_pred4x4_funcs[INTRA_ROW_8BIT][INTRA_LUMA_VERT] = intra_pred4x4_vert;
    intra_pred4x4_funcs[INTRA_ROW_8BIT][INTRA_LUMA_HORZ] = intra_pred4x4_horz;
    intra_pred4x4_funcs[INTRA_ROW_8BIT][INTRA_LUMA_LP] = intra_pred4x4_lp;
    intra_pred4x4_funcs[INTRA_ROW_8BIT][INTRA_LUMA_DNLF] = intra_pred4x4_dnlf;
    intra_pred4x4_funcs[INTRA_ROW_8BIT][INTRA_LUMA_DNRH] = intra_pred4x4_dnrh;
    intra_pred4x4_funcs[INTRA_ROW_8BIT][INTRA_LUMA_LPLF] = intra_pred4x4_lplf;
    intra_pred4x4_funcs[INTRA_ROW_8BIT][INTRA_LUMA_LPTP] = intra_pred4x4_lptp;
    intra_pred4x4_funcs[INTRA_ROW_8BIT][INTRA_LUMA_D128] = intra_pred4x4_d128;

    intra_pred4x4_funcs[INTRA_ROW_10BIT][INTRA_LUMA_VERT] = intra_pred4x4_vert_10bit;
    intra_pred4x4_funcs[INTRA_ROW_10BIT][INTRA_LUMA_HORZ] = intra_pred4x4_horz_10bit;
    intra_pred4x4_funcs[INTRA_ROW_10BIT][INTRA_LUMA_LP] = intra_pred4x4_lp_10bit;
    intra_pred4x4_funcs[INTRA_ROW_10BIT][INTRA_LUMA_DNLF] = intra_pred4x4_dnlf_10bit;
    intra_pred4x4_funcs[INTRA_ROW_10BIT][INTRA_LUMA_DNRH] = intra_pred4x4_dnrh_10bit;
    intra_pred4x4_funcs[INTRA_ROW_10BIT][INTRA_LUMA_LPLF] = intra_pred4x4_lplf_10bit;
    intra_pred4x4_funcs[INTRA_ROW_10BIT][INTRA_LUMA_LPTP] = intra_pred4x4_lptp_10bit;
    intra_pred4x4_funcs[INTRA_ROW_10BIT][INTRA_LUMA_D128] = intra_pred4x4_d128_10bit;

    intra_pred8x8_funcs[INTRA_ROW_8BIT][INTRA_LUMA_VERT] = intra_pred8x8_vert;
    intra_pred8x8_funcs[INTRA_ROW_8BIT][INTRA_LUMA_HORZ] = intra_pred8x8_horz;
    intra_pred8x8_funcs[INTRA_ROW_8BIT][INTRA_LUMA_LP] = intra_pred8x8_lp;
    intra_pred8x8_funcs[INTRA_ROW_8BIT][INTRA_LUMA_DNLF] = intra_pred8x8_dnlf;
    intra_pred8x8_funcs[INTRA_ROW_8BIT][INTRA_LUMA_DNRH] = intra_pred8x8_dnrh;
    intra_pred8x8_funcs[INTRA_ROW_8BIT][INTRA_LUMA_LPLF] = intra_pred8x8_lplf;
    intra_pred8x8_funcs[INTRA_ROW_8BIT][INTRA_LUMA_LPTP] = intra_pred8x8_lptp;
    intra_pred8x8_funcs[INTRA_ROW_8BIT][INTRA_LUMA_D128] = intra_pred8x8_d128;

    intra_pred8x8_funcs[INTRA_ROW_10BIT][INTRA_LUMA_VERT] = intra_pred8x8_vert_10bit;
    intra_pred8x8_funcs[INTRA_ROW_10BIT][INTRA_LUMA_HORZ] = intra_pred8x8_horz_10bit;
    intra_pred8x8_funcs[INTRA_ROW_10BIT][INTRA_LUMA_LP] = intra_pred8x8_lp_10bit;
    intra_pred8x8_funcs[INTRA_ROW_10BIT][INTRA_LUMA_DNLF] = intra_pred8x8_dnlf_10bit;
    intra_pred8x8_funcs[INTRA_ROW_10BIT][INTRA_LUMA_DNRH] = intra_pred8x8_dnrh_10bit;
    intra_pred8x8_funcs[INTRA_ROW_10BIT][INTRA_LUMA_LPLF] = intra_pred8x8_lplf_10bit;
    intra_pred8x8_funcs[INTRA_ROW_10BIT][INTRA_LUMA_LPTP] = intra_pred8x8_lptp_10bit;
    intra_pred8x8_funcs[INTRA_ROW_10BIT][INTRA_LUMA_D128] = intra_pred8x8_d128_10bit;

    intra_pred_chroma_funcs[INTRA_ROW_8BIT][INTRA_CHROMA_LP] = intra_pred8x8_lp;
    intra_pred_chroma_funcs[INTRA_ROW_8BIT][INTRA_CHROMA_HOR] = intra_pred8x8_horz;
    intra_pred_chroma_funcs[INTRA_ROW_8BIT][INTRA_CHROMA_VER] = intra_pred8x8_vert;
    intra_pred_chroma_funcs[INTRA_ROW_8BIT][INTRA_CHROMA_PLANE] = intra_pred_chroma_plane;
    intra_pred_chroma_funcs[INTRA_ROW_8BIT][INTRA_CHROMA_LPLE] = intra_pred8x8_lplf;
    intra_pred_chroma_funcs[INTRA_ROW_8BIT][INTRA_CHROMA_LPTP] = intra_pred8x8_lptp;
    intra_pred_chroma_funcs[INTRA_ROW_8BIT][INTRA_CHROMA_D128] = intra_pred8x8_d128;

    intra_pred_chroma_funcs[INTRA_ROW_10BIT][INTRA_CHROMA_LP] = intra_pred8x8_lp_10bit;
    intra_pred_chroma_funcs[INTRA_ROW_10BIT][INTRA_CHROMA_HOR] = intra_pred8x8_horz_10bit;
    intra_pred_chroma_funcs[INTRA_ROW_10BIT][INTRA_CHROMA_VER] = intra_pred8x8_vert_10bit;
    intra_pred_chroma_funcs[INTRA_ROW_10BIT][INTRA_CHROMA_PLANE] = intra_pred_chroma_plane_10bit;
    intra_pred_chroma_funcs[INTRA_ROW_10BIT][INTRA_CHROMA_LPLE] = intra_pred8x8_lplf_10bit;
    intra_pred_chroma_funcs[INTRA_ROW_10BIT][INTRA_CHROMA_LPTP] = intra_pred8x8_lptp_10bit;
    intra_pred_chroma_funcs[INTRA_ROW_10BIT][INTRA_CHROMA_D128] = intra_pred8x8_d128_10bit;

    intra_pred_multi_funcs[INTRA_ROW_8BIT] = upsample2x_luma;
    intra_pred_multi_funcs[INTRA_ROW_9BIT] = upsample2x_luma_9bit;
    intra_pred_multi_funcs[INTRA_ROW_10BIT] = upsample2x_luma_10bit;

    intra_pred_multi_chroma_funcs[INTRA_ROW_8BIT] = upsample2x_chroma;
    intra_pred_multi_chroma_funcs[INTRA_ROW_9BIT] = upsample2x_chroma_9bit;
    intra_pred_multi_chroma_funcs[INTRA_ROW_10BIT] = upsample2x_chroma_10bit;

    intra_pred_init_ssse3(cpu_flags);
}

// An SSSE3 kernel takes a slot only where it is faster: the fills with 128 and the 8x8 low-pass
// of the top row are plain stores either way and keep their portable kernels.
void intra_pred_init_ssse3(uint32_t cpu_flags)
{
    if (!(cpu_flags & 0x80))
        return;
    intra_pred4x4_funcs[INTRA_ROW_8BIT][INTRA_LUMA_VERT] = intra_pred4x4_vert_ssse3;
    intra_pred4x4_funcs[INTRA_ROW_8BIT][INTRA_LUMA_HORZ] = intra_pred4x4_horz_ssse3;
    intra_pred4x4_funcs[INTRA_ROW_8BIT][INTRA_LUMA_LP] = intra_pred4x4_lp_ssse3;
    intra_pred4x4_funcs[INTRA_ROW_8BIT][INTRA_LUMA_DNLF] = intra_pred4x4_dnlf_ssse3;
    intra_pred4x4_funcs[INTRA_ROW_8BIT][INTRA_LUMA_DNRH] = intra_pred4x4_dnrh_ssse3;
    intra_pred4x4_funcs[INTRA_ROW_8BIT][INTRA_LUMA_LPLF] = intra_pred4x4_lplf_ssse3;
    intra_pred4x4_funcs[INTRA_ROW_8BIT][INTRA_LUMA_LPTP] = intra_pred4x4_lptp_ssse3;

    intra_pred8x8_funcs[INTRA_ROW_8BIT][INTRA_LUMA_VERT] = intra_pred8x8_vert_ssse3;
    intra_pred8x8_funcs[INTRA_ROW_8BIT][INTRA_LUMA_HORZ] = intra_pred8x8_horz_ssse3;
    intra_pred8x8_funcs[INTRA_ROW_8BIT][INTRA_LUMA_LP] = intra_pred8x8_lp_ssse3;
    intra_pred8x8_funcs[INTRA_ROW_8BIT][INTRA_LUMA_DNLF] = intra_pred8x8_dnlf_ssse3;
    intra_pred8x8_funcs[INTRA_ROW_8BIT][INTRA_LUMA_DNRH] = intra_pred8x8_dnrh_ssse3;
    intra_pred8x8_funcs[INTRA_ROW_8BIT][INTRA_LUMA_LPLF] = intra_pred8x8_lplf_ssse3;

    intra_pred_chroma_funcs[INTRA_ROW_8BIT][INTRA_CHROMA_LP] = intra_pred8x8_lp_ssse3;
    intra_pred_chroma_funcs[INTRA_ROW_8BIT][INTRA_CHROMA_HOR] = intra_pred8x8_horz_ssse3;
    intra_pred_chroma_funcs[INTRA_ROW_8BIT][INTRA_CHROMA_VER] = intra_pred8x8_vert_ssse3;
    intra_pred_chroma_funcs[INTRA_ROW_8BIT][INTRA_CHROMA_PLANE] = intra_pred_chroma_plane_ssse3;
    intra_pred_chroma_funcs[INTRA_ROW_8BIT][INTRA_CHROMA_LPLE] = intra_pred8x8_lplf_ssse3;
}
