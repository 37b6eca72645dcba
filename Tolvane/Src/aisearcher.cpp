#include "aisearcher.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include <QDebug>
#include <QThreadPool>
#include <QtConcurrent>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include <tolvane/IDevice.h>
#include <tolvane/IDeviceMgr.h>

namespace Tolvane {

namespace {

// A non-negative integer that fits 32 bits, else 0.
uint32_t ReadUnsigned(const Json::Value& value)
{
    if (value.isUInt()) {
        return value.asUInt();
    }
    return 0;
}

bool ReadBool(const Json::Value* value, bool missing)
{
    return value == nullptr ? missing : Foundation::JsonToBool(*value);
}

Json::Value Request(const char* method, uint32_t finder, const Json::Value& params)
{
    Json::Value request(Json::objectValue);
    request["method"] = method;
    if (finder != 0) {
        request["object"] = Json::Value(static_cast<Json::UInt>(finder));
    }
    request["params"] = params;
    return request;
}

}  // namespace

CAiSearcher::CAiSearcher(HostContext* context, const Json::Value& condition, int wanted)
    : m_condition(condition)
    , m_wanted(wanted)
{
    m_deviceMgr = Foundation::QueryHostService<IDeviceMgr>(context, Foundation::TypeName::IDeviceMgr);
    if (m_deviceMgr) {
        m_device = m_deviceMgr->GetCurrentDevice();
    }
}

CAiSearcher::~CAiSearcher()
{
    {
        std::lock_guard<std::mutex> wait(m_waitLock);
        m_stop = true;
        m_cancel = true;
    }
    m_wake.notify_all();
    std::lock_guard<std::mutex> life(m_lifeLock);
    m_worker.waitForFinished();
}

bool CAiSearcher::SetResultSink(const AiSearchResultSink& sink)
{
    m_sink = sink;
    return true;
}

bool CAiSearcher::Start()
{
    std::lock_guard<std::mutex> life(m_lifeLock);
    if (m_stop || m_started) {
        return false;
    }
    m_started = true;
    m_finderId = CreateFinder();
    if (m_finderId == 0) {
        m_finished = true;
        return true;
    }
    if (FindFile(m_finderId)) {
        m_worker = QtConcurrent::run([this] { Worker(); });
    } else {
        DestroyFinder(m_finderId);
        m_finderId = 0;
        m_finished = true;
    }
    return true;
}

bool CAiSearcher::Transmit(const Json::Value& request, Json::Value* answer)
{
    if (m_device == nullptr) {
        return false;
    }
    return m_device->TransmitInfoForWeb(request, answer, kRequestTimeoutMs);
}

uint32_t CAiSearcher::CreateFinder()
{
    Json::Value answer;
    if (!Transmit(Request("mediaFileFind.factory.create", 0, Json::Value("")), &answer)) {
        qDebug() << "CAiSearcher::CreateFinder: mediaFileFind.factory.create failed";
        return 0;
    }
    return ReadUnsigned(Foundation::JsonMember(answer, "result"));
}

bool CAiSearcher::FindFile(uint32_t finder)
{
    if (finder == 0) {
        return false;
    }
    Json::Value params(Json::objectValue);
    params["condition"] = m_condition;
    Json::Value answer;
    if (!Transmit(Request("mediaFileFind.findFile", finder, params), &answer)) {
        return false;
    }
    const bool ok = ReadBool(Foundation::JsonFind(answer, "result"), false);
    if (!ok) {
        qDebug() << "CAiSearcher::FindFile: the device refused the search";
    }
    return ok;
}

bool CAiSearcher::FindNextFile(uint32_t finder, Json::Value* answer)
{
    if (finder == 0) {
        return false;
    }
    Json::Value params(Json::objectValue);
    params["count"] = m_pageSize;
    if (!Transmit(Request("mediaFileFind.findNextFile", finder, params), answer)) {
        return false;
    }
    return ReadBool(Foundation::JsonFind(*answer, "result"), false);
}

bool CAiSearcher::DestroyFinder(uint32_t finder)
{
    if (finder == 0) {
        return false;
    }
    Json::Value answer;
    if (!Transmit(Request("mediaFileFind.destroy", finder, Json::Value("")), &answer)) {
        return false;
    }
    return ReadBool(Foundation::JsonFind(answer, "result"), true);
}

void CAiSearcher::Worker()
{
    while (!m_stop) {
        Json::Value answer;
        if (!FindNextFile(m_finderId, &answer)) {
            break;
        }
        const Json::Value params = Foundation::JsonMember(answer, "params");
        const int n = std::max(0, Foundation::JsonToInt(Foundation::JsonMember(params, "found")));
        m_found = n > std::numeric_limits<int>::max() - m_found ? std::numeric_limits<int>::max() : m_found + n;
        if (n < m_pageSize || m_found >= m_wanted) {
            m_stop = true;
        }
        if (n <= 0) {
            continue;
        }
        // Never more than still wanted, never more than the device sent, only records.
        int count = n;
        if (m_found > m_wanted) {
            count = std::max(0, m_wanted - (m_found - n));
        }
        const Json::Value infos = Foundation::JsonMember(params, "infos");
        Json::Value batch(Json::arrayValue);
        const int available = infos.isArray() ? static_cast<int>(infos.size()) : 0;
        for (int i = 0; i < std::min(count, available); ++i) {
            const Json::Value& record = infos[static_cast<Json::ArrayIndex>(i)];
            if (record.isObject()) {
                batch.append(record);
            }
        }
        if (batch.empty()) {
            continue;
        }
        if (!HandOver(batch)) {
            m_stop = true;
        }
    }
    m_finished = true;
    DestroyFinder(m_finderId);
}

bool CAiSearcher::HandOver(const Json::Value& batch)
{
    for (;;) {
        const int answer = m_sink ? m_sink(this, batch) : 0;
        if (answer == -1) {
            return false;
        }
        if (answer != 0) {
            return true;
        }
        // Offered again a second later; the pool gets the thread back while it waits.
        QThreadPool::globalInstance()->releaseThread();
        bool cancelled = false;
        {
            std::unique_lock<std::mutex> wait(m_waitLock);
            cancelled = m_wake.wait_for(wait, std::chrono::milliseconds(kRetryIntervalMs),
                                        [this] { return m_cancel.load(); });
        }
        QThreadPool::globalInstance()->reserveThread();
        if (cancelled) {
            return false;
        }
    }
}

}  // namespace Tolvane
