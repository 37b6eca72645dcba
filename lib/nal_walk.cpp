#include "nal_walk.h"

#include <cstring>

#include "decoder_ctx.h"
#include "mem.h"

int32_t (*nal_slice_decoder)(decoder_ctx *ctx) = decode_slice_data;

namespace {

constexpr int64_t MAX_PAYLOAD_BITS = 0x7FFFFFF8;

// Whether two neighbouring bytes of the eight at p are both zero.
bool has_zero_pair(const uint8_t *p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    constexpr uint64_t low7 = 0x7F7F7F7F7F7F7F7Fu;
    const uint64_t zero = ~(((v & low7) + low7) | v | low7);   // 0x80 in each zero byte, exactly
    return (zero & (zero >> 8)) != 0;
}

// End of the payload: the first 00 00 00, 00 00 01 or 00 00 02; *escape tells whether an
// 00 00 03 comes first.
int32_t payload_end(const uint8_t *src, int32_t r, bool *escape)
{
    *escape = false;
    for (int32_t i = 0; i + 1 < r; i += 2) {
        // The steps at i, i + 2 and i + 4 look at bytes i - 1 .. i + 5 and stop only at two
        // zeros side by side: without such a pair in bytes i - 1 .. i + 6 they are passed over
        // at once. Coded data rarely holds one, so the walk seldom leaves this loop.
        while (i >= 1 && i + 7 <= r && !has_zero_pair(src + i - 1))
            i += 6;
        if (i + 1 >= r)
            break;
        if (src[i])
            continue;
        if (i > 0 && src[i - 1] == 0)
            --i;
        if (i + 2 < r && src[i + 1] == 0 && src[i + 2] <= 3) {
            if (src[i + 2] != 3)
                return i;
            *escape = true;
            return r;
        }
    }
    return r;
}

// Chooses the picture of the current layer that goes out now that a picture is complete.
void complete_picture(decoder_ctx *ctx, int32_t *got_picture)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    *got_picture = 1;
    lf_worker_wait_idle(ctx);
    if (ctx->pic_type == 3) {
        frame_move(&layer.output, &layer.cur);
        layer.poc_last_out = layer.poc_cur;
        if (!layer.output)
            *got_picture = 0;
        return;
    }
    const int32_t last = layer.poc_last_out;
    const int32_t next = (last + 2) & 511;
    auto ahead = [last](int32_t poc) { return ((poc - last) & 511) >= 1 && ((poc - last) & 511) < 256; };
    // A key picture (an IDR picture, the first picture, or an I picture whose number does not
    // follow on from the last output: the numbering starts over) ends the group before. The
    // reference of that group still waiting goes out first, then the key picture.
    const bool idr = ctx->nal_type == 2 || ctx->nal_type == 4;
    if (layer.ref0 && (idr || (ctx->pic_type == 1 && (last < 0 || !ahead(layer.poc_ref0))))) {
        if (layer.ref1 && !layer.ref1_out && ahead(layer.poc_ref1))
            frame_ref(&layer.output_before, layer.ref1);
        layer.ref1_out = 1;
        frame_ref(&layer.output, layer.ref0);
        layer.poc_last_out = layer.poc_ref0;
        return;
    }
    layer.ref1_out = 0;
    frame_buf *out = nullptr;
    int32_t out_poc = 0;
    if (layer.ref0 && next == layer.poc_ref0) {
        out = layer.ref0, out_poc = layer.poc_ref0;
    } else if (layer.ref1 && next == layer.poc_ref1) {
        out = layer.ref1, out_poc = layer.poc_ref1;
    } else if (layer.ref1 && ahead(layer.poc_ref1)) {
        // A picture was lost: the older reference has not gone out although a newer one
        // followed it, so no picture can fill the gap any more. Resume with the nearer one.
        const bool ref0_first = layer.ref0 && ahead(layer.poc_ref0) &&
                                ((layer.poc_ref0 - last) & 511) < ((layer.poc_ref1 - last) & 511);
        out = ref0_first ? layer.ref0 : layer.ref1;
        out_poc = ref0_first ? layer.poc_ref0 : layer.poc_ref1;
    }
    if (!out) {
        *got_picture = 0;
        return;
    }
    frame_ref(&layer.output, out);
    layer.poc_last_out = out_poc;
}

// Work buffer of at least size bytes; null when it cannot grow (the old one is gone then).
uint8_t *work_buffer(decoder_ctx *ctx, int32_t size)
{
    if (size < 0)
        return nullptr;
    void *grown = mem_realloc(ctx->nal_work_buffer, &ctx->nal_work_capacity, size);
    if (!grown) {
        mem_freep(&ctx->nal_work_buffer);
        ctx->nal_work_capacity = 0;
        return nullptr;
    }
    ctx->nal_work_buffer = static_cast<uint8_t *>(grown);
    return ctx->nal_work_buffer;
}

} // namespace

int32_t nal_unescape(const uint8_t *src, int32_t r, uint8_t *dst, int32_t *out_len)
{
    bool escape;
    const int32_t end = payload_end(src, r, &escape);
    if (!escape) {
        if (dst && end > 0)
            std::memcpy(dst, src, static_cast<size_t>(end));
        *out_len = end;
        return end;
    }
    int32_t i = 0, o = 0;
    while (i < r) {
        if (r - i >= 3 && src[i] == 0 && src[i + 1] == 0 && src[i + 2] <= 3) {
            if (src[i + 2] != 3)
                break;
            if (dst)
                dst[o] = dst[o + 1] = 0;
            o += 2;
            i += 3;
            continue;
        }
        if (dst)
            dst[o] = src[i];
        ++o;
        ++i;
    }
    *out_len = o;
    return i;
}

int64_t nal_payload_bits(const uint8_t *buf, int32_t *len)
{
    while (*len > 1 && buf[*len - 1] == 0)
        --*len;
    if (*len <= 0)
        return -1;
    const uint8_t last = buf[*len - 1];
    if (last == 0)
        return 8;
    return 8 * static_cast<int64_t>(*len) - (__builtin_ctz(last) + 1);
}

int32_t decode_nal_units(decoder_ctx *ctx, int32_t *got_picture, const uint8_t *data, int32_t length)
{
    *got_picture = 0;
    for (layer_ctx &layer : ctx->layer) {
        frame_unref(&layer.output_before);
        frame_unref(&layer.output);
    }
    int32_t pos = 0;
    for (;;) {
        for (;; ++pos) {
            if (pos + 3 >= length)
                return pos;
            if (data[pos] == 0 && data[pos + 1] == 0 && data[pos + 2] == 1)
                break;
        }
        if (*got_picture)
            return pos;

        const uint8_t header = data[pos + 3];
        ctx->nal_ref = (header >> 6) & 1;
        ctx->nal_type = (header >> 2) & 15;
        ctx->nal_encrypted = (header >> 1) & 1;
        ctx->nal_auth = header & 1;
        const int32_t start = pos + 3 + (ctx->nal_auth ? 2 : 1);
        if (ctx->nal_auth)
            ctx->nal_auth_byte = start <= length ? data[start - 1] : 0;
        const int32_t r = start < length ? length - start : 0;
        const uint8_t *src = data + (start < length ? start : length);

        // Emulation prevention removed into the work buffer, which keeps zeroed padding
        // behind the payload for the reader.
        int32_t out_len = 0;
        bool escape;
        const int32_t end = payload_end(src, r, &escape);
        uint8_t *buf = work_buffer(ctx, (escape ? r : end) + BIT_READER_PADDING);
        const int32_t consumed = nal_unescape(src, r, buf, &out_len);
        pos = start + consumed < length ? start + consumed : length;
        if (buf) {
            std::memset(buf + out_len, 0, BIT_READER_PADDING);
            if (ctx->nal_encrypted && ctx->stream_encrypted)
                decrypt_nal_payload(ctx, buf, out_len);
        }
        const int32_t padded = out_len + BIT_READER_PADDING;
        const int64_t bits = buf ? nal_payload_bits(buf, &out_len) : -1;

        const int32_t type = ctx->nal_type;
        if (type >= 1 && type <= 4)
            ctx->cur_layer = type <= 2 ? 0 : 1;
        const bool parsed = (type >= 1 && type <= 5) || (type >= 7 && type <= 9);
        if (!parsed)
            continue;
        layer_ctx &layer = ctx->layer[ctx->cur_layer];
        if ((type == 2 || type == 4) && !layer.idr_seen) {
            frame_unref(&layer.ref0);
            frame_unref(&layer.ref1);
            layer.idr_seen = 1;
        }
        if ((type >= 1 && type <= 4) && !layer.idr_seen)
            continue;   // slices before the layer's first IDR are not decoded
        if (!buf || bits < 0 || bits >= MAX_PAYLOAD_BITS)
            return -2;
        bit_reader_init(&ctx->bs, buf, static_cast<int32_t>(bits), padded);

        int32_t result = 0;
        switch (type) {
        case 7: result = parse_sps(ctx); break;
        case 8: result = parse_pps(ctx); break;
        case 9: result = parse_sec_param_set(ctx); break;
        case 5: result = parse_extension_unit(ctx); break;
        default:
            result = nal_slice_decoder(ctx);
            if (result == 0) {
                complete_picture(ctx, got_picture);
                continue;
            }
            if (result > 0)
                result = 0;
            break;
        }
        if (result != 0)
            return result;
    }
}
