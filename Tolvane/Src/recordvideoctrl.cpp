#include "recordvideoctrl.h"
#include <QMutexLocker>

#include <cstring>
#include <string>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include <tolvane/IDeviceMgr.h>

#include "filehelpers.h"
#include "logfacade.h"
#include "recordtranscoder.h"
#include "recordtranscoderregistry.h"

namespace Tolvane {

namespace {

using HostHandler = fastdelegate::FastDelegate<void()>;

constexpr const char kDefaultType[] = "rkv";
constexpr const char kLengthKey[] = "ManulRecordLength";
constexpr const char kPathKey[] = "ManulRecordPath";
constexpr int64_t kLengthCheckMs = 1000;

// The element's integer "winID", if it has one.
bool ReadWindowId(const Json::Value& element, int* winID)
{
    const Json::Value* member = Foundation::JsonFind(element, "winID");
    if (member == nullptr || !member->isInt()) {
        return false;
    }
    *winID = Foundation::JsonToInt(*member);
    return true;
}

}  // namespace

CRecordVideoCtrl::CRecordVideoCtrl(HostContext* context, const char* /*argument*/) : m_context(context)
{
    Foundation::ConnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CRecordVideoCtrl::OnImplLoaded));
    Foundation::ConnectHostSignal(m_context, "ImplComPreRelease",
                                  HostHandler(this, &CRecordVideoCtrl::OnImplPreRelease));
    static const char* const kNames[] = {"infos"};
    m_methods.push_back(Foundation::MakeComMethod(this, &CRecordVideoCtrl::startRecord, kNames, true));
    Foundation::RegisterHostMethod(m_context, "startRecord", m_methods.back());
    m_methods.push_back(Foundation::MakeComMethod(this, &CRecordVideoCtrl::stopRecord, kNames, true));
    Foundation::RegisterHostMethod(m_context, "stopRecord", m_methods.back());
}

CRecordVideoCtrl::~CRecordVideoCtrl()
{
    Foundation::DisconnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CRecordVideoCtrl::OnImplLoaded));
    Foundation::DisconnectHostSignal(m_context, "ImplComPreRelease",
                                     HostHandler(this, &CRecordVideoCtrl::OnImplPreRelease));
    OnImplPreRelease();
    {
        QMutexLocker managerLock(ManagerMutex());
        QMutexLocker lock(&m_lock);
        for (auto& entry : m_transcoders) {
            if (entry.second != nullptr) {
                entry.second->Stop();
                delete entry.second;
            }
        }
        m_transcoders.clear();
        m_startTimes.clear();
        m_lengths.clear();
    }
    for (Foundation::IComInterface* method : m_methods) {
        delete method;
    }
}

void CRecordVideoCtrl::CreateSvrObject(HostContext* context, const char* argument)
{
    TOLVANE_TRACE("Tolvane", "Tolvane::CreateSvrObject", "CreateSvrObject");
    Foundation::CreateSvrObject<CRecordVideoCtrl>(context, argument, Foundation::TypeName::CRecordVideoCtrl);
}

void CRecordVideoCtrl::OnImplLoaded()
{
    m_playerMgr = Foundation::QueryHostService<IPlayerMgr>(m_context, Foundation::TypeName::IPlayerMgr);
    m_customer = Foundation::QueryHostService<ICustomerInfor>(m_context, Foundation::TypeName::ICustomerInfor);
    m_timer = Foundation::QueryHostService<ITimer>(m_context, Foundation::TypeName::ITimer);
    if (m_timer && m_timerId == 0) {
        ITimer::Handler tick(this, &CRecordVideoCtrl::OnLengthTimer);
        m_timerId = m_timer->SetTimer(tick, kLengthCheckMs);
    }
    Foundation::ConnectHostSignal(m_context, "detachPlayModeSignal",
                                  PlayModeSignalHandler(this, &CRecordVideoCtrl::OnDetachPlayMode));
}

void CRecordVideoCtrl::OnImplPreRelease()
{
    if (m_timer && m_timerId != 0) {
        m_timer->DestroyTimer(m_timerId);
    }
    m_timerId = 0;
    Foundation::DisconnectHostSignal(m_context, "detachPlayModeSignal",
                                     PlayModeSignalHandler(this, &CRecordVideoCtrl::OnDetachPlayMode));
}

void CRecordVideoCtrl::OnDetachPlayMode(int winID, IPlayMode* /*mode*/)
{
    StopWindowRecord(winID);
}

void CRecordVideoCtrl::SetClock(std::function<QDateTime()> clock)
{
    QMutexLocker lock(&m_lock);
    m_clock = std::move(clock);
}

QDateTime CRecordVideoCtrl::Now() const
{
    QMutexLocker lock(&m_lock);
    return m_clock ? m_clock() : QDateTime::currentDateTime();
}

QMutex* CRecordVideoCtrl::ManagerMutex() const
{
    return m_playerMgr ? m_playerMgr->GetMutex() : nullptr;
}

bool CRecordVideoCtrl::startRecord(const Json::Value& infos)
{
    if (!infos.isArray() || infos.empty()) {
        return false;
    }
    bool answer = false;
    for (Json::ArrayIndex i = 0; i < infos.size(); ++i) {
        const Json::Value element = infos[i];

        int length = 0;
        if (const Json::Value* member = Foundation::JsonFind(element, kLengthKey)) {
            length = Foundation::JsonToInt(*member);
        } else if (m_customer) {
            length = m_customer->GetInt(kLengthKey, 0);
        }
        std::string folder;
        if (const Json::Value* member = Foundation::JsonFind(element, kPathKey)) {
            folder = Foundation::JsonStringOrEmpty(*member);
        } else if (m_customer) {
            folder = m_customer->GetString(kPathKey, std::string());
        }
        if (folder.empty()) {
            folder = (GetAppDirPath() + QStringLiteral("/video")).toLocal8Bit().toStdString();
        }
        if (!MakePath(folder.c_str())) {
            continue;
        }

        int winID = 0;
        const Json::Value* name = Foundation::JsonFind(element, "name");
        if (!ReadWindowId(element, &winID) || name == nullptr || !name->isString()) {
            continue;
        }
        const Json::Value* typeMember = Foundation::JsonFind(element, "type");
        const std::string type = (typeMember != nullptr && typeMember->isString()) ? typeMember->asString()
                                                                                   : std::string(kDefaultType);

        // Manager before recording lock, held across the start and the bookkeeping.
        QMutexLocker managerLock(ManagerMutex());
        QMutexLocker lock(&m_lock);
        const QDateTime now = Now();
        const QString cleanName = CleanFileName(QString::fromStdString(name->asString()));
        const QString path = QStringLiteral("%1/%2-%3_%4.%5")
                                 .arg(QString::fromLocal8Bit(folder.c_str()), cleanName,
                                      QString::number(winID), now.toString(QStringLiteral("yyyyMMddhhmmss")),
                                      QString::fromStdString(type));
        const bool ok = StartWindowRecord(winID, type.c_str(), path.toUtf8().constData());
        if (ok) {
            m_startTimes[winID] = now;
            m_lengths[winID] = length;
        } else {
            // A recording still running in the window is closed, not lost behind the failure.
            auto held = m_transcoders.find(winID);
            if (held == m_transcoders.end() || held->second == nullptr || StopWindowRecord(winID)) {
                m_transcoders[winID] = nullptr;
            }
        }
        answer = true;
    }
    return answer;
}

bool CRecordVideoCtrl::StartWindowRecord(int winID, const char* type, const char* filePath)
{
    if (type == nullptr || filePath == nullptr) {
        return false;
    }
    QMutexLocker managerLock(ManagerMutex());
    QMutexLocker lock(&m_lock);
    IPlayMode* mode = m_playerMgr ? m_playerMgr->GetOpenPlayMode(winID) : nullptr;
    PlayFrameRecord record;
    if (mode == nullptr || !mode->GetFrameRecord(&record, 0)) {
        return false;
    }

    IRecordTranscoder* transcoder = nullptr;
    auto held = m_transcoders.find(winID);
    if (held != m_transcoders.end() && held->second != nullptr) {
        const char* heldType = held->second->GetType();
        if (heldType != nullptr && std::strcmp(heldType, type) == 0) {
            if (held->second->IsRecording()) {
                return true;
            }
            transcoder = held->second;
        } else if (!StopWindowRecord(winID)) {
            return false;
        }
    }
    if (transcoder == nullptr) {
        transcoder = RecordTranscoderRegistry::Create(type, m_context);
        if (transcoder == nullptr) {
            return false;
        }
        auto previous = m_transcoders.find(winID);
        if (previous != m_transcoders.end()) {
            delete previous->second;  // null, or a stopped transcoder that could not be reused
        }
        m_transcoders[winID] = transcoder;
    }

    const QByteArray name = MakeUniqueFileName(filePath).toLocal8Bit();
    if (!transcoder->Open(name.constData(), mode->GetPort())) {
        StopWindowRecord(winID);
        return false;
    }
    RequestKeyFrame(mode);
    return true;
}

void CRecordVideoCtrl::RequestKeyFrame(IPlayMode* mode)
{
    auto devices = Foundation::QueryHostService<IDeviceMgr>(m_context, Foundation::TypeName::IDeviceMgr);
    if (!devices) {
        return;
    }
    if (IDevice* device = devices->GetCurrentDevice()) {
        device->MakeKeyFrame(mode->GetChannel(), mode->GetStreamType() - 2);
    }
}

bool CRecordVideoCtrl::StopWindowRecord(int winID)
{
    QMutexLocker lock(&m_lock);
    auto held = m_transcoders.find(winID);
    if (held == m_transcoders.end()) {
        return true;
    }
    if (held->second != nullptr && !held->second->Stop()) {
        return false;
    }
    delete held->second;
    m_transcoders.erase(held);
    m_startTimes.erase(winID);
    m_lengths.erase(winID);
    return true;
}

bool CRecordVideoCtrl::stopRecord(const Json::Value& infos)
{
    if (!infos.isArray()) {
        return false;
    }
    bool answer = false;
    for (Json::ArrayIndex i = 0; i < infos.size(); ++i) {
        int winID = 0;
        if (!ReadWindowId(infos[i], &winID)) {
            continue;
        }
        StopWindowRecord(winID);
        answer = true;
    }
    return answer;
}

int CRecordVideoCtrl::GetRecordState(int winID)
{
    QMutexLocker lock(&m_lock);
    auto held = m_transcoders.find(winID);
    if (held == m_transcoders.end()) {
        return StateNone;
    }
    if (held->second == nullptr) {
        return StateFailed;
    }
    if (!held->second->IsRecording()) {
        return StateNone;
    }
    if (PastLengthLocked(winID)) {
        StopWindowRecord(winID);
    }
    return StateRecording;
}

bool CRecordVideoCtrl::PastLengthLocked(int winID) const
{
    auto started = m_startTimes.find(winID);
    auto length = m_lengths.find(winID);
    return started != m_startTimes.end() && length != m_lengths.end()
           && Now() >= started->second.addSecs(qint64(length->second) * 60);
}

int CRecordVideoCtrl::OnLengthTimer(uint64_t /*timerId*/)
{
    QMutexLocker lock(&m_lock);
    std::vector<int> ended;
    for (const auto& entry : m_transcoders) {
        if (entry.second != nullptr && entry.second->IsRecording() && PastLengthLocked(entry.first)) {
            ended.push_back(entry.first);
        }
    }
    for (int winID : ended) {
        StopWindowRecord(winID);
    }
    return 1;
}

}  // namespace Tolvane
