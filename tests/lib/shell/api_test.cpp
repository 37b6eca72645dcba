#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "api.h"
#include "decoder_ctx.h"
#include "lf_worker.h"
#include "mem.h"
#include "svacdec.h"

namespace {

TEST(DecoderApi, OpenBeforeInitIsRefusedAndInitStaysAfterDeInit)
{
    const int32_t saved = svac_lib_initialised;
    svac_lib_initialised = 0;
    testing::internal::CaptureStdout();
    void *h = ZQ_SVAC_Dec_Open();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "lib not init\n");
    EXPECT_EQ(h, nullptr);

    EXPECT_EQ(ZQ_SVAC_Dec_Init(ZQ_SVAC_Dec_GetCPUCaps()), 0);
    EXPECT_EQ(ZQ_SVAC_Dec_DeInit(), 0);
    h = ZQ_SVAC_Dec_Open();
    EXPECT_NE(h, nullptr);
    ZQ_SVAC_Dec_Close(h);
    svac_lib_initialised = saved;
}

TEST(DecoderApi, VersionTextIsFixedAndInOneBuffer)
{
    const char *first = ZQ_SVAC_Dec_GetVersion();
    EXPECT_STREQ(first, "0.1.117967 (Sep 21 2018 10:57:22)");
    EXPECT_EQ(ZQ_SVAC_Dec_GetVersion(), first);
}

TEST(DecoderApi, DebugSwitchesStartAtOne)
{
    for (int32_t word : {dump_i, dump_p, dump_b, dump_coefs, DUMP_INFO})
        EXPECT_EQ(word, 1);
}

TEST(DecoderApi, CpuCapsReportSsse3AsTheProcessorDoes)
{
    const uint32_t caps = ZQ_SVAC_Dec_GetCPUCaps();
    EXPECT_EQ((caps & 0x80) != 0, __builtin_cpu_supports("ssse3") != 0);
    EXPECT_EQ((caps & 0x8) != 0, __builtin_cpu_supports("sse2") != 0);
    EXPECT_EQ(caps & 0xFF40u, 0u) << "bits 0x40 and 0x100..0x8000 are never set";
}

class Instance : public testing::Test {
protected:
    void SetUp() override
    {
        ZQ_SVAC_Dec_Init(0);
        handle = ZQ_SVAC_Dec_Open();
        ASSERT_NE(handle, nullptr);
        ctx = static_cast<decoder_ctx *>(handle);
    }
    void TearDown() override { ZQ_SVAC_Dec_Close(handle); }
    void *handle = nullptr;
    decoder_ctx *ctx = nullptr;
};

TEST_F(Instance, OpenedInstanceStartsEmpty)
{
    EXPECT_EQ(ctx->queue.count, 0);
    EXPECT_EQ(ctx->key_len, 0u);
    EXPECT_EQ(ctx->prev_pic_num, -1);
    EXPECT_EQ(ctx->last_sps_id, -1);
    EXPECT_EQ(ctx->cipher_type, -1);
    for (const layer_ctx &layer : ctx->layer) {
        EXPECT_EQ(layer.poc_last_out, -1);
        EXPECT_EQ(layer.picture_done, 1);
        EXPECT_EQ(layer.buf[0], nullptr);
    }
    EXPECT_EQ(ctx->lf.running, lf_worker_min_mbs == INT32_MAX ? 0 : 1) << "a thread only where pictures use it";
    EXPECT_EQ(ctx->lf.synced, 1);
    output_frame_rec rec{};
    EXPECT_EQ(ZQ_SVACDEC_ZQ_SVAC_get_output_frame(handle, &rec), SVAC_ERR_NOFRAME);
}

TEST_F(Instance, SetKeyCapsTheLength)
{
    unsigned char key[100];
    for (int i = 0; i < 100; ++i)
        key[i] = static_cast<unsigned char>(i + 1);
    struct Case { const unsigned char *key; uint32_t len; uint32_t stored; };
    const Case cases[] = {
        {key, 16, 16},
        {key, 100, 64},
        {key, 0xFFFFFFFFu, 64},
        {key, 0, 0},
        {nullptr, 20, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.len);
        EXPECT_EQ(ZQ_SVAC_Set_Key(handle, c.key, c.len), 0);
        EXPECT_EQ(ctx->key_len, c.stored);
        if (c.stored) {
            EXPECT_EQ(std::memcmp(ctx->key, key, c.stored), 0);
        }
    }
}

TEST_F(Instance, DecodeChecksArgumentsAndClearsTheExtensionCounts)
{
    auto ext = std::make_unique<extension_data_record>();
    std::memset(ext->bytes, 0xAB, sizeof ext->bytes);
    const unsigned char data[] = {0, 0, 1, 0x1C, 0x80};
    decode_input in{data, 0, 3};
    EXPECT_EQ(ZQ_SVAC_Dec_Decode(handle, &in, ext.get()), 0);
    EXPECT_EQ(ctx->layer_mask, 3);
    for (size_t offset : {0, 4024, 4668, 8312}) {
        int32_t word;
        std::memcpy(&word, ext->bytes + offset, 4);
        EXPECT_EQ(word, 0) << offset;
    }
    EXPECT_EQ(ext->bytes[4], 0xAB) << "nothing else of the record is written";

    decode_input negative{data, -1, 0};
    decode_input missing{nullptr, 5, 0};
    EXPECT_EQ(ZQ_SVAC_Dec_Decode(handle, nullptr, ext.get()), SVAC_ERR_INVALID);
    EXPECT_EQ(ZQ_SVAC_Dec_Decode(handle, &negative, ext.get()), SVAC_ERR_INVALID);
    EXPECT_EQ(ZQ_SVAC_Dec_Decode(handle, &missing, ext.get()), SVAC_ERR_INVALID);
    EXPECT_EQ(ZQ_SVAC_Dec_Decode(handle, &in, nullptr), 0) << "a missing record is tolerated";
}

TEST(DecoderApi, CloseOfNullDoesNothing)
{
    ZQ_SVAC_Dec_Close(nullptr);
}

TEST(DecoderApi, OpenFailsCleanlyWhenAnyAllocationFails)
{
    ZQ_SVAC_Dec_Init(0);
    int failures = 0;
    for (int n = 0;; ++n) {
        mem_fail_countdown = n;
        void *h = ZQ_SVAC_Dec_Open();
        const bool injected = mem_fail_countdown < 0;
        mem_fail_countdown = -1;
        if (!injected) {
            ASSERT_NE(h, nullptr);
            ZQ_SVAC_Dec_Close(h);
            break;
        }
        EXPECT_EQ(h, nullptr) << "allocation " << n;
        ++failures;
    }
    EXPECT_GE(failures, 2) << "the context and the worker ring";
}

int failing_thread_create(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *)
{
    return 11;
}

TEST(DecoderApi, OpenFailsWhenTheWorkerCannotStart)
{
    ZQ_SVAC_Dec_Init(0);
    auto *saved = lf_thread_create;
    const int32_t saved_min_mbs = lf_worker_min_mbs;
    lf_thread_create = failing_thread_create;
    lf_worker_min_mbs = 0;           // every picture for the worker
    void *h = ZQ_SVAC_Dec_Open();
    lf_thread_create = saved;
    lf_worker_min_mbs = saved_min_mbs;
    EXPECT_EQ(h, nullptr);
}

TEST(DecoderApi, InstancesOpenAndCloseOnSeparateThreads)
{
    ZQ_SVAC_Dec_Init(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 20; ++i) {
                void *h = ZQ_SVAC_Dec_Open();
                ASSERT_NE(h, nullptr);
                unsigned char key[8] = {1, 2, 3, 4, 5, 6, 7, 8};
                ZQ_SVAC_Set_Key(h, key, sizeof key);
                ZQ_SVAC_Dec_Close(h);
            }
        });
    for (std::thread &t : threads)
        t.join();
}

} // namespace
