#pragma once
// Shared pieces of the search tests: a device manager over one device, a result sink with
// scripted answers, and the device requests read back from the stand-in's journal.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <json/json.h>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include <tolvane/IDeviceMgr.h>

#include "aisearcher.h"
#include "quillnetstandin.h"

namespace searchtest {

inline Json::Value Parse(const std::string& text)
{
    Json::Value value;
    EXPECT_TRUE(Foundation::JsonParse(text, value)) << text;
    return value;
}

inline std::string Compact(const Json::Value& value)
{
    std::string text = Foundation::JsonFastText(value);
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

// Polls until the condition holds; a generous limit for a loaded machine.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 15000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class DeviceMgr : public Tolvane::IDeviceMgr {
public:
    explicit DeviceMgr(Tolvane::IDevice* device) : m_device(device) {}
    bool SetCGISessionID(int) override { return true; }
    Tolvane::IDevice* GetDevice() override { return m_device; }
    Tolvane::IDevice* GetDevice(long) override { return m_device; }
    bool LogoutDevice() override { return true; }
    Tolvane::IDevice* GetCurrentDevice() override { return m_device; }

private:
    Tolvane::IDevice* m_device;
};

inline void RegisterDeviceMgr(HostContext* context, Tolvane::IDevice* device)
{
    Foundation::CSharedPtr<Tolvane::IDeviceMgr> manager(new DeviceMgr(device));
    ASSERT_TRUE(Foundation::RegisterHostObject(context, Foundation::TypeName::IDeviceMgr, manager));
}

// Collects the batches; answers from the script, then `fallback`.
class ResultSink {
public:
    explicit ResultSink(std::deque<int> answers = {}, int fallback = 1)
        : m_answers(std::move(answers)), m_fallback(fallback)
    {
    }

    int OnResult(Tolvane::CAiSearcher*, const Json::Value& batch)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_batches.push_back(batch);
        if (m_answers.empty()) {
            return m_fallback;
        }
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }

    Tolvane::AiSearchResultSink Delegate() { return Tolvane::AiSearchResultSink(this, &ResultSink::OnResult); }

    std::vector<Json::Value> Batches()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_batches;
    }
    std::vector<int> Sizes()
    {
        std::vector<int> sizes;
        for (const Json::Value& batch : Batches()) {
            sizes.push_back(static_cast<int>(batch.size()));
        }
        return sizes;
    }

private:
    std::mutex m_lock;
    std::vector<Json::Value> m_batches;
    std::deque<int> m_answers;
    int m_fallback;
};

// The transparent requests of the journal, as parsed JSON, in order.
inline std::vector<Json::Value> Requests()
{
    std::vector<Json::Value> requests;
    for (const Json::Value& call : devtest::QuillnetStandIn::CallsOf("CLIENT_TransmitInfoForWebEx")) {
        requests.push_back(Parse(call["args"][1]["request"].asString()));
    }
    return requests;
}

inline std::vector<std::string> Methods()
{
    std::vector<std::string> methods;
    for (const Json::Value& request : Requests()) {
        methods.push_back(request["method"].asString());
    }
    return methods;
}

inline bool WaitForDestroy()
{
    return WaitFor([] {
        for (const std::string& method : Methods()) {
            if (method == "mediaFileFind.destroy") {
                return true;
            }
        }
        return false;
    });
}

}  // namespace searchtest
