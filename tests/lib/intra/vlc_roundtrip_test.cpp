// Residual code round trips: pairs written through the writer's inverse of each code table
// come back from the decoder's block readers unchanged, and the readers end exactly where the
// writer stopped.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "coef.h"
#include "decoder_ctx.h"
#include "intra_stream.h"
#include "svacdec.h"
#include "svacwriter/mb_writer.h"
#include "vlc_residual.h"
#include "vlc_tables.h"

namespace {

using svacwriter::CoefList;
using svacwriter::VlcTableSet;

std::vector<uint32_t> captured;
void capture(const uint32_t *words, int32_t *block, int32_t, int32_t count, int32_t)
{
    captured.assign(words, words + count);
    std::memset(block, 0, 64 * sizeof(int32_t));
}

class VlcRoundTrip : public testing::Test {
protected:
    void SetUp() override
    {
        ZQ_SVAC_Dec_Init(0);
        handle_ = ZQ_SVAC_Dec_Open();
        ctx_ = static_cast<decoder_ctx *>(handle_);
        ctx_->bit_depth = 8;
        ctx_->pic_structure = -1;
        saved_[0] = coef_funcs[COEF_8X8];
        saved_[1] = coef_funcs[COEF_4X4];
        coef_funcs[COEF_8X8] = coef_funcs[COEF_4X4] = capture;
    }
    void TearDown() override
    {
        coef_funcs[COEF_8X8] = saved_[0];
        coef_funcs[COEF_4X4] = saved_[1];
        ZQ_SVAC_Dec_Close(handle_);
    }

    // Writes the list, reads it back; the pairs as the reader stored them.
    void round_trip(VlcTableSet set, const CoefList &pairs, bool small)
    {
        svacwriter::BitWriter w;
        ASSERT_TRUE(svacwriter::write_coef_block(w, set, pairs, small)) << w.error();
        const uint64_t bits = w.bit_count();
        w.put_bits(0xFFFF, 16);   // something after the block
        std::vector<uint8_t> bytes = w.take_bytes();
        bytes.resize(bytes.size() + BIT_READER_PADDING, 0);
        bit_reader_init(&ctx_->bs, bytes.data(), static_cast<int32_t>(bits + 16), static_cast<int32_t>(bytes.size()));
        const vlc2d_table *tables = set == VlcTableSet::kIntraLuma   ? vlc2d_intra_tables
                                    : set == VlcTableSet::kInterLuma ? vlc2d_inter_tables
                                                                     : vlc2d_chroma_tables;
        const int escape = set == VlcTableSet::kIntraLuma ? 1 : 0;
        captured.clear();
        const int r = small ? vlc_read_coefs2(ctx_, tables, escape, 28, dst_, 8)
                            : vlc_read_coefs(ctx_, tables, escape, 28, dst_, 8);
        ASSERT_EQ(r, 0);
        ASSERT_EQ(static_cast<uint64_t>(ctx_->bs.position), bits) << "reader and writer disagree on code lengths";
        std::vector<uint32_t> want;
        for (const auto &p : pairs)
            want.push_back(p.advance | (static_cast<uint32_t>(p.level) << 16));
        ASSERT_EQ(captured, want);
    }

    void *handle_ = nullptr;
    decoder_ctx *ctx_ = nullptr;
    coef_fn saved_[2] = {};
    uint8_t dst_[8 * 8] = {};
};

const VlcTableSet kSets[] = {VlcTableSet::kIntraLuma, VlcTableSet::kInterLuma, VlcTableSet::kChroma};

// The largest level that table t serves (the last table: no limit).
int32_t threshold(VlcTableSet set, int t)
{
    const vlc2d_table *tables = set == VlcTableSet::kIntraLuma   ? vlc2d_intra_tables
                                : set == VlcTableSet::kInterLuma ? vlc2d_inter_tables
                                                                 : vlc2d_chroma_tables;
    return tables[t].threshold;
}

// Every entry and an escape of every table: a first pair whose level leads into table t, then
// the entry (or the escape) coded in t.
TEST_F(VlcRoundTrip, EveryEntryAndEscapeOfEveryTable)
{
    for (VlcTableSet set : kSets) {
        const int count = svacwriter::vlc_table_count(set);
        for (int t = 0; t < count; ++t) {
            const CoefList lead = t == 0 ? CoefList{} : CoefList{{threshold(set, t - 1) + 1, 1}};
            int entries = 0;
            for (int32_t level = -30; level <= 30; ++level)
                for (uint32_t adv = 1; adv <= 30 && level != 0; ++adv) {
                    if (svacwriter::vlc_code_of(set, t, level, adv) < 0)
                        continue;
                    ++entries;
                    CoefList pairs = lead;
                    pairs.push_back({level, adv});
                    round_trip(set, pairs, false);
                }
            EXPECT_EQ(entries, 58) << "table " << t;
            for (CoefList esc : {CoefList{{-1, 40}}, CoefList{{55, 1}}, CoefList{{-200, 2}}, CoefList{{3, 60}}}) {
                CoefList pairs = lead;
                pairs.insert(pairs.end(), esc.begin(), esc.end());
                round_trip(set, pairs, false);
            }
        }
    }
}

TEST_F(VlcRoundTrip, RandomBlocksOfBothSizes)
{
    std::mt19937 rng(5);
    for (VlcTableSet set : kSets)
        for (int i = 0; i < 400; ++i) {
            const bool small = set != VlcTableSet::kChroma && (i & 1);
            round_trip(set, intra_test::random_coefs(rng, small ? 4 : 8, small ? 16 : 64), small);
        }
}

TEST_F(VlcRoundTrip, ReaderEdgeCases)
{
    struct Case {
        const char *what;
        std::vector<uint32_t> codes;   // order-2 code numbers of the intra luma set
        std::vector<uint32_t> want;
    };
    const Case cases[] = {
        {"end of block first", {58}, {}},
        {"code 0 is +1, then the end of block of table 1", {0, 8}, {1u | (1u << 16)}},
        {"code 1 is -1", {1, 8}, {1u | (0xFFFFu << 16)}},
    };
    for (const Case &c : cases) {
        svacwriter::BitWriter w;
        for (uint32_t code : c.codes)
            w.put_ue_k(code, 2);
        const uint64_t bits = w.bit_count();
        std::vector<uint8_t> bytes = w.take_bytes();
        bytes.resize(bytes.size() + 16, 0);
        bit_reader_init(&ctx_->bs, bytes.data(), static_cast<int32_t>(bits), static_cast<int32_t>(bytes.size()));
        captured.clear();   // a block without words is not expanded at all
        EXPECT_EQ(vlc_read_coefs(ctx_, vlc2d_intra_tables, 1, 28, dst_, 8), 0) << c.what;
        EXPECT_EQ(captured, c.want) << c.what;
    }
}

TEST_F(VlcRoundTrip, EscapeCodesAndTheirSigns)
{
    // Escape codes 59, 60, 61 with an escape value of 0: advance 1 negative, advance 1
    // positive, advance 2 negative; reference levels of intra table 0 are 4 and 3.
    const struct {
        uint32_t code;
        uint32_t want;
    } cases[] = {{59, 1u | (static_cast<uint32_t>(-4) << 16)}, {60, 1u | (4u << 16)},
                 {61, 2u | (static_cast<uint32_t>(-3) << 16)}};
    for (const auto &c : cases) {
        svacwriter::BitWriter w;
        w.put_ue_k(c.code, 2);
        w.put_ue_k(0, 1);
        w.put_ue_k(8, 2);    // levels 3 and 4 lead to table 3: its end of block
        const uint64_t bits = w.bit_count();
        std::vector<uint8_t> bytes = w.take_bytes();
        bytes.resize(bytes.size() + 16, 0);
        bit_reader_init(&ctx_->bs, bytes.data(), static_cast<int32_t>(bits), static_cast<int32_t>(bytes.size()));
        ASSERT_EQ(vlc_read_coefs(ctx_, vlc2d_intra_tables, 1, 28, dst_, 8), 0);
        EXPECT_EQ(captured, std::vector<uint32_t>{c.want}) << c.code;
    }
}

TEST_F(VlcRoundTrip, BadCodesAreRefused)
{
    const struct {
        const char *what;
        std::vector<std::pair<uint32_t, int>> codes;   // value, order
        bool small;
        int cut;                                        // payload bits dropped at the end
        int want;
    } cases[] = {
        {"escape advance 65 in an 8x8 block", {{59 + 2 * 64, 2}}, false, 0, -8},
        {"escape advance 17 in a 4x4 block", {{59 + 2 * 16, 2}}, true, 0, -8},
        {"data ends inside the block", {{0, 2}, {0, 2}}, false, 2, -11},
    };
    for (const auto &c : cases) {
        svacwriter::BitWriter w;
        for (auto [v, k] : c.codes)
            w.put_ue_k(v, k);
        const uint64_t bits = w.bit_count();
        std::vector<uint8_t> bytes = w.take_bytes();
        bytes.resize(bytes.size() + 16, 0);
        bit_reader_init(&ctx_->bs, bytes.data(), static_cast<int32_t>(bits) - c.cut,
                        static_cast<int32_t>(bytes.size()));
        const int r = c.small ? vlc_read_coefs2(ctx_, vlc2d_intra_tables, 1, 28, dst_, 8)
                              : vlc_read_coefs(ctx_, vlc2d_intra_tables, 1, 28, dst_, 8);
        EXPECT_EQ(r, c.want) << c.what;
    }
}

} // namespace
