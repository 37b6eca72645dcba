// Feeds arbitrary bytes to a decoder instance the way a host does. The first byte picks the
// layer mask and the key; the rest is the stream. One instance serves every input, reset to
// the state of a new one after each (opening one per input would start a worker thread each
// time); FUZZ_FRESH_INSTANCE=1 in the environment opens and closes one per input instead.
#include <cstddef>
#include <cstdint>

#include <cstdlib>

#include "decoder_ctx.h"
#include "fuzz_key.h"
#include "svacdec.h"

namespace {

void drain(void *h)
{
    output_frame_rec rec;
    while (ZQ_SVACDEC_ZQ_SVAC_get_output_frame(h, &rec) == 0) {
        // Touch the corners of the planes the host would draw.
        volatile unsigned char sink = rec.plane[0][0];
        sink = rec.plane[0][(rec.height - 1) * rec.stride[0] + (rec.width - 1) * (rec.bit_depth > 8 ? 2 : 1)];
        (void)sink;
        ZQ_SVACDEC_ZQ_SVAC_release_output_frame(h, &rec);
    }
}

// Offset of the next start code after pos, or size.
size_t next_start_code(const uint8_t *data, size_t size, size_t pos)
{
    for (size_t i = pos + 1; i + 2 < size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            return i;
    return size;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool initialised = (ZQ_SVAC_Dec_Init(ZQ_SVAC_Dec_GetCPUCaps()), true);
    (void)initialised;
    if (size < 1)
        return 0;
    static extension_data_record ext;
    static const bool fresh = std::getenv("FUZZ_FRESH_INSTANCE") && *std::getenv("FUZZ_FRESH_INSTANCE") == '1';
    static void *shared = fresh ? nullptr : ZQ_SVAC_Dec_Open();
    void *h = fresh ? ZQ_SVAC_Dec_Open() : shared;
    if (!h)
        return 0;
    const int32_t mask = data[0] & 3;
    if (const uint32_t key_size = fuzz_key_size(data[0]))
        ZQ_SVAC_Set_Key(h, fuzz_key, key_size);
    const uint8_t *stream = data + 1;
    const size_t length = size - 1;
    size_t pos = 0;
    while (pos < length) {
        decode_input in{stream + pos, static_cast<int32_t>(length - pos), mask};
        const int32_t r = ZQ_SVAC_Dec_Decode(h, &in, (pos & 1) ? nullptr : &ext);
        drain(h);
        if (r < 0)
            pos = next_start_code(stream, length, pos);   // skip the unit that failed
        else if (r == 0)
            break;
        else
            pos += static_cast<size_t>(r);
    }
    for (int32_t layer = 0; layer < 2; ++layer) {
        while (ZQ_SVAC_Get_LastFrame(h, layer) == 1)
            drain(h);
    }
    if (fresh)
        ZQ_SVAC_Dec_Close(h);
    else
        decoder_ctx_reset(static_cast<decoder_ctx *>(h));
    return 0;
}
