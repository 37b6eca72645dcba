// The registries the module fills while it loads: a later registration of a key replaces
// the earlier one, and lookup is by the exact key.

#include <string>

#include <gtest/gtest.h>

#include "exceldataformaterregistry.h"
#include "recordtranscoderregistry.h"

namespace {

// Factories answer distinct addresses that are never dereferenced.
char g_made[4];

Tolvane::IRecordTranscoder* MakeFirstTranscoder(HostContext*)
{
    return reinterpret_cast<Tolvane::IRecordTranscoder*>(&g_made[0]);
}

Tolvane::IRecordTranscoder* MakeSecondTranscoder(HostContext*)
{
    return reinterpret_cast<Tolvane::IRecordTranscoder*>(&g_made[1]);
}

Tolvane::IExcelDataFormater* MakeFirstFormater(const Json::Value&, const std::string&, const std::string&,
                                               const Json::Value&)
{
    return reinterpret_cast<Tolvane::IExcelDataFormater*>(&g_made[2]);
}

Tolvane::IExcelDataFormater* MakeSecondFormater(const Json::Value&, const std::string&, const std::string&,
                                                const Json::Value&)
{
    return reinterpret_cast<Tolvane::IExcelDataFormater*>(&g_made[3]);
}

TEST(RecordTranscoderRegistry, ReplacesAndLooksUpByExactType)
{
    using Tolvane::RecordTranscoderRegistry;
    EXPECT_EQ(RecordTranscoderRegistry::Create("rkv", nullptr), nullptr);
    EXPECT_TRUE(RecordTranscoderRegistry::Register("rkv", &MakeFirstTranscoder));
    EXPECT_EQ(RecordTranscoderRegistry::Create("rkv", nullptr), MakeFirstTranscoder(nullptr));
    EXPECT_TRUE(RecordTranscoderRegistry::Register("rkv", &MakeSecondTranscoder));
    EXPECT_EQ(RecordTranscoderRegistry::Create("rkv", nullptr), MakeSecondTranscoder(nullptr));
    EXPECT_EQ(RecordTranscoderRegistry::Create("RKV", nullptr), nullptr);
}

TEST(ExcelDataFormaterRegistry, ReplacesAndLooksUpByExactKey)
{
    const Json::Value none;
    EXPECT_TRUE(Tolvane::RegisterExcelDataFormater("Face_Attr", &MakeFirstFormater));
    EXPECT_EQ(Tolvane::CreateExcelDataFormater("Face_Attr", none, "", "", none), MakeFirstFormater(none, "", "", none));
    EXPECT_TRUE(Tolvane::RegisterExcelDataFormater("Face_Attr", &MakeSecondFormater));
    EXPECT_EQ(Tolvane::CreateExcelDataFormater("Face_Attr", none, "", "", none), MakeSecondFormater(none, "", "", none));
    EXPECT_EQ(Tolvane::CreateExcelDataFormater("face_attr", none, "", "", none), nullptr);
}

}  // namespace
