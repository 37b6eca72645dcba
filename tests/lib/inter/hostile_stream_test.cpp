// Damaged streams that once made inter prediction read outside a reference picture: each is
// decoded the way a host feeds units (a failed unit skipped to the next start code), and every
// picture handed out is read whole. Under the sanitizer build any stray access fails the run.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../fuzz/fuzz_key.h"
#include "svacdec.h"

namespace {

struct Outcome {
    int failed_units = 0;
    int pictures = 0;
};

std::vector<uint8_t> read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

size_t next_start_code(const uint8_t *data, size_t size, size_t pos)
{
    for (size_t i = pos + 1; i + 2 < size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            return i;
    return size;
}

// Sums every visible sample so that the whole picture is read.
void drain(void *h, Outcome &out)
{
    output_frame_rec rec;
    while (ZQ_SVACDEC_ZQ_SVAC_get_output_frame(h, &rec) == 0) {
        const int bytes = rec.bit_depth > 8 ? 2 : 1;
        volatile unsigned sum = 0;
        for (int32_t y = 0; y < rec.height; ++y)
            for (int32_t x = 0; x < rec.width * bytes; ++x)
                sum = sum + rec.plane[0][y * rec.stride[0] + x];
        ++out.pictures;
        ZQ_SVACDEC_ZQ_SVAC_release_output_frame(h, &rec);
    }
}

// First byte: layer mask (bits 0..1) and key length (bits 2..3); the rest is the stream.
Outcome decode(const std::vector<uint8_t> &data)
{
    Outcome out;
    void *h = ZQ_SVAC_Dec_Open();
    EXPECT_NE(h, nullptr);
    if (!h || data.empty())
        return out;
    if (const uint32_t key_size = fuzz_key_size(data[0]))
        ZQ_SVAC_Set_Key(h, fuzz_key, key_size);
    const uint8_t *stream = data.data() + 1;
    const size_t length = data.size() - 1;
    extension_data_record ext{};
    size_t pos = 0;
    while (pos < length) {
        decode_input in{stream + pos, static_cast<int32_t>(length - pos), data[0] & 3};
        const int32_t r = ZQ_SVAC_Dec_Decode(h, &in, (pos & 1) ? nullptr : &ext);
        drain(h, out);
        if (r < 0) {
            ++out.failed_units;
            pos = next_start_code(stream, length, pos);
        } else if (r == 0) {
            break;
        } else {
            pos += static_cast<size_t>(r);
        }
    }
    for (int32_t layer = 0; layer < 2; ++layer)
        while (ZQ_SVAC_Get_LastFrame(h, layer) == 1)
            drain(h, out);
    ZQ_SVAC_Dec_Close(h);
    return out;
}

class HostileStream : public ::testing::TestWithParam<const char *> {
protected:
    static void SetUpTestSuite() { ZQ_SVAC_Dec_Init(ZQ_SVAC_Dec_GetCPUCaps()); }
};

TEST_P(HostileStream, DecodesWithoutStrayAccess)
{
    const std::vector<uint8_t> data = read_file(std::string(INTER_REGRESS_DIR) + "/" + GetParam() + ".bin");
    ASSERT_GT(data.size(), 1u);
    const Outcome out = decode(data);
    // Damaged units are refused one by one; the stream still yields its sound pictures.
    EXPECT_GT(out.failed_units, 0);
    EXPECT_GT(out.pictures, 0);
}

INSTANTIATE_TEST_SUITE_P(Inter, HostileStream,
                         ::testing::Values("chroma-window-16bit-a", "chroma-window-16bit-b", "pad-window-16bit",
                                           "pad-far-outside", "pad-missing-plane", "b-missing-chroma-plane",
                                           "format-change-pad-16bit"),
                         [](const ::testing::TestParamInfo<const char *> &info) {
                             std::string name = info.param;
                             for (char &c : name)
                                 if (c == '-')
                                     c = '_';
                             return name;
                         });

} // namespace
