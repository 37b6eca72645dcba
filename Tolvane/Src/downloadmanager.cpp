#include "downloadmanager.h"

#include <algorithm>
#include <set>

#include <QDebug>
#include <QDirIterator>
#include <QFileInfo>
#include <QStorageInfo>
#include <QString>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include <tolvane/IDeviceMgr.h>

#include "downloadbyremote.h"
#include "downloadctrl.h"
#include "jsonhelper.h"
#include "logfacade.h"

namespace Tolvane {

namespace {

using HostHandler = fastdelegate::FastDelegate<void()>;
using LoginHandler = fastdelegate::FastDelegate<void(long)>;

// One counter for the whole process: tokens are never reused while the module is loaded.
std::atomic<int> g_tokenCounter{-1};

constexpr const char kPlayerProgram[] = "/mnt/client/Orbisplay.exe";

bool Contains(const std::vector<int>& list, int value)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

// "errorCode" of a search job's record: every file that was not deleted failed; or a sheet
// of the job could not be written.
constexpr int kErrorNothingFetched = 4;
constexpr int kErrorSheetNotWritten = 5;

bool IsFinalState(int state)
{
    return state == 3 || state == 5;
}

std::string LastPathComponent(const std::string& text)
{
    return QFileInfo(QString::fromStdString(text)).fileName().toStdString();
}

// A string member becomes a one-element array holding it.
Json::Value AsArray(const Json::Value& value)
{
    if (value.isString()) {
        Json::Value array(Json::arrayValue);
        array.append(value);
        return array;
    }
    return value;
}

}  // namespace

CDownloadManager::CDownloadManager(HostContext* context, const char* /*argument*/)
    : m_context(context), m_tickHandler(this, &CDownloadManager::OnTick)
{
    Foundation::ConnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CDownloadManager::OnImplLoaded));
    Foundation::ConnectHostSignal(m_context, "ImplComPreRelease",
                                  HostHandler(this, &CDownloadManager::OnImplPreRelease));

    static const char* const kDownload[] = {"type", "fileInfoList", "savePath"};
    static const char* const kTokenFiles[] = {"token", "fileIdList"};
    static const char* const kSearch[] = {"totalNum", "downloadType", "savePath", "param",
                                          "condition", "filelist",     "excludeList"};
    static const char* const kToken[] = {"token"};
    static const char* const kDriver[] = {"driverName"};
    static const char* const kRemote[] = {"downloadInfo"};
    auto publish = [this](const char* name, Foundation::IComInterface* method) {
        m_methods.push_back(method);
        Foundation::RegisterHostMethod(m_context, name, method);
    };
    publish("download", Foundation::MakeComMethod(this, &CDownloadManager::download, kDownload, true));
    publish("stop", Foundation::MakeComMethod(this, &CDownloadManager::stop, kTokenFiles, true));
    publish("dpause", Foundation::MakeComMethod(this, &CDownloadManager::dpause, kTokenFiles, true));
    publish("dresume", Foundation::MakeComMethod(this, &CDownloadManager::dresume, kTokenFiles, true));
    publish("aiSearchDownload", Foundation::MakeComMethod(this, &CDownloadManager::aiSearchDownload, kSearch, true));
    publish("stopAiSearchDownload",
            Foundation::MakeComMethod(this, &CDownloadManager::stopAiSearchDownload, kToken, true));
    publish("getState", Foundation::MakeComMethod(this, &CDownloadManager::getState, kToken, true));
    publish("getDiskFreeSpace", Foundation::MakeComMethod(this, &CDownloadManager::getDiskFreeSpace, kDriver, true));
    publish("downloadRemoteFile",
            Foundation::MakeComMethod(this, &CDownloadManager::downloadRemoteFile, kRemote, true));
}

CDownloadManager::~CDownloadManager()
{
    Foundation::DisconnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CDownloadManager::OnImplLoaded));
    Foundation::DisconnectHostSignal(m_context, "ImplComPreRelease",
                                     HostHandler(this, &CDownloadManager::OnImplPreRelease));
    if (m_loginConnected.exchange(false)) {
        Foundation::DisconnectHostSignal(m_context, "deviceLoginoutSignal",
                                         LoginHandler(this, &CDownloadManager::OnDeviceLoginout));
    }
    {
        std::lock_guard<std::mutex> lock(m_timerLock);
        if (m_timerId != 0 && m_timer) {
            m_timer->DestroyTimer(m_timerId);
        }
        m_timerId = 0;
    }
    // Remote downloads and scans use this service: they end before it goes.
    m_background.waitForDone();
    DeleteAllJobs();
    for (Foundation::IComInterface* method : m_methods) {
        delete method;
    }
}

void CDownloadManager::CreateSvrObject(HostContext* context, const char* argument)
{
    TOLVANE_TRACE("Tolvane", "Tolvane::CreateSvrObject", "CreateSvrObject");
    Foundation::CreateSvrObject<CDownloadManager>(context, argument, Foundation::TypeName::CDownloadManager);
}

CDownloadCtrl* CDownloadManager::MakeJob(const Json::Value& description, const std::string& savePath)
{
    return new CDownloadCtrl(m_context, description, savePath);
}

void CDownloadManager::OnImplLoaded()
{
    {
        std::lock_guard<std::mutex> lock(m_timerLock);
        m_timer = Foundation::QueryHostService<ITimer>(m_context, Foundation::TypeName::ITimer);
    }
    if (!m_loginConnected.exchange(true)) {
        Foundation::ConnectHostSignal(m_context, "deviceLoginoutSignal",
                                      LoginHandler(this, &CDownloadManager::OnDeviceLoginout));
    }
}

void CDownloadManager::OnImplPreRelease()
{
    {
        std::lock_guard<std::mutex> lock(m_timerLock);
        if (m_timerId != 0 && m_timer) {
            m_timer->DestroyTimer(m_timerId);
        }
        m_timerId = 0;
    }
    if (m_loginConnected.exchange(false)) {
        Foundation::DisconnectHostSignal(m_context, "deviceLoginoutSignal",
                                         LoginHandler(this, &CDownloadManager::OnDeviceLoginout));
    }
}

void CDownloadManager::OnDeviceLoginout(long /*loginId*/)
{
    DeleteAllJobs();
}

void CDownloadManager::DeleteAllJobs()
{
    std::lock_guard<std::mutex> running(m_runningLock);
    std::lock_guard<std::mutex> waiting(m_waitingLock);
    for (auto* table : {&m_running, &m_waiting}) {
        for (auto& entry : *table) {
            delete entry.second;
            std::lock_guard<std::mutex> tokens(m_tokenLock);
            m_jobTokens.erase(entry.second);
        }
        table->clear();
    }
}

void CDownloadManager::EnsureTimer()
{
    std::lock_guard<std::mutex> lock(m_timerLock);
    if (m_timerId != 0) {
        return;
    }
    if (!m_timer) {
        m_timer = Foundation::QueryHostService<ITimer>(m_context, Foundation::TypeName::ITimer);
    }
    if (m_timer) {
        m_timerId = m_timer->SetTimer(m_tickHandler, kTickMs);
    } else {
        qDebug() << "CDownloadManager: no timer service; jobs are not started";
    }
}

int CDownloadManager::AddJob(CDownloadCtrl* job, bool videoJob)
{
    if (job == nullptr) {
        return -1;
    }
    EnsureTimer();
    std::lock_guard<std::mutex> lock(m_waitingLock);
    const int token = ++g_tokenCounter;
    m_waiting[token] = job;
    {
        std::lock_guard<std::mutex> tokens(m_tokenLock);
        m_jobTokens[job] = token;
        if (videoJob) {
            m_videoTokens.push_back(token);
        }
    }
    job->SetFinishedHandler(CDownloadCtrl::FinishedHandler(this, &CDownloadManager::OnJobFinished));
    return token;
}

int CDownloadManager::download(int type, const Json::Value& fileInfoList, const std::string& savePath)
{
    Json::Value description(Json::objectValue);
    description["SaveType"] = Json::Value(Json::arrayValue);
    description["SaveType"].append(type == 1 ? "jpg" : "video");
    description["ByTime"] = type == 2;
    description["FileList"] = fileInfoList;
    return AddJob(MakeJob(description, savePath), type == 0 || type == 2);
}

int CDownloadManager::aiSearchDownload(int totalNum, const Json::Value& downloadType, const std::string& savePath,
                                       const Json::Value& param, const Json::Value& condition,
                                       const Json::Value& filelist, const Json::Value& excludeList)
{
    Json::Value description(Json::objectValue);
    description["SaveType"] = Foundation::JsonMember(downloadType, "Type");
    description["FileList"] = filelist;
    description["ExcludeList"] = excludeList;
    description["SearchParam"]["Condition"] = condition;
    description["SearchParam"]["ToTalNum"] = totalNum;
    Json::Value excel = param.isObject() ? param : Json::Value(Json::objectValue);
    excel["SubPath"] = "aisearch";
    description["ExcelParam"] = excel;

    const Json::Value& saveType = description["SaveType"];
    qDebug() << "savetype:" << Foundation::JsonFastText(saveType).c_str();
    bool video = false;
    if (saveType.isArray()) {
        for (const Json::Value& type : saveType) {
            video = video || Foundation::JsonStringOrEmpty(type) == "rkv";
        }
    }
    return AddJob(MakeJob(description, savePath), video);
}

bool CDownloadManager::stop(int token, const Json::Value& fileIdList)
{
    {
        std::lock_guard<std::mutex> lock(m_runningLock);
        const auto found = m_running.find(token);
        if (found != m_running.end() && found->second != nullptr) {
            return found->second->Stop(fileIdList);
        }
    }
    std::lock_guard<std::mutex> lock(m_waitingLock);
    const auto found = m_waiting.find(token);
    if (found != m_waiting.end() && found->second != nullptr) {
        return found->second->Stop(fileIdList);
    }
    return false;
}

bool CDownloadManager::stopAiSearchDownload(int token)
{
    return stop(token, Json::Value());
}

bool CDownloadManager::dpause(int token, const Json::Value& fileIdList)
{
    std::lock_guard<std::mutex> lock(m_runningLock);
    const auto found = m_running.find(token);
    return found != m_running.end() && found->second != nullptr && found->second->Pause(fileIdList);
}

bool CDownloadManager::dresume(int token, const Json::Value& fileIdList)
{
    std::lock_guard<std::mutex> lock(m_runningLock);
    const auto found = m_running.find(token);
    return found != m_running.end() && found->second != nullptr && found->second->Resume(fileIdList);
}

Json::Value CDownloadManager::getState(int token)
{
    Json::Value result;
    {
        std::lock_guard<std::mutex> lock(m_runningLock);
        const auto found = m_running.find(token);
        if (found != m_running.end() && found->second != nullptr) {
            AppendJobRecords(token, found->second, result, result);
        }
    }
    if (result.isNull()) {
        std::lock_guard<std::mutex> lock(m_waitingLock);
        const auto found = m_waiting.find(token);
        if (found != m_waiting.end() && found->second != nullptr) {
            AppendJobRecords(token, found->second, result, result);
        }
    }
    return result;
}

int CDownloadManager::AppendJobRecords(int token, CDownloadCtrl* job, Json::Value& fileRecords,
                                       Json::Value& jobRecords)
{
    if (job == nullptr) {
        return 5;
    }
    using Foundation::JsonMember;
    using Foundation::JsonToInt;
    const Json::Value progress = job->GetProgress();
    const int state = JsonToInt(JsonMember(progress, "State"));
    const Json::Value succeeded = JsonMember(progress, "SucceededFileIds");
    const Json::Value failed = JsonMember(progress, "FailedFileIds");
    const Json::Value deleted = JsonMember(progress, "DeletedFileIds");
    if (job->IsSearchJob()) {
        Json::Value record(Json::objectValue);
        record["process"] = JsonToInt(JsonMember(progress, "Process"));
        record["token"] = token;
        if (Foundation::JsonMemberCount(failed) ==
            JsonToInt(JsonMember(progress, "TotalCount")) - Foundation::JsonMemberCount(deleted)) {
            record["errorCode"] = kErrorNothingFetched;
        } else if (Foundation::JsonMemberCount(JsonMember(progress, "FailedSheets")) > 0) {
            record["errorCode"] = kErrorSheetNotWritten;
        }
        jobRecords.append(record);
        return state;
    }
    auto idSet = [](const Json::Value& ids) {
        std::set<int> out;
        if (ids.isArray()) {
            for (const Json::Value& id : ids) {
                out.insert(JsonToInt(id));
            }
        }
        return out;
    };
    const std::set<int> succeededIds = idSet(succeeded);
    const std::set<int> failedIds = idSet(failed);
    const std::set<int> deletedIds = idSet(deleted);
    std::map<int, Json::Value> processing;
    const Json::Value states = JsonMember(progress, "ProcessingStates");
    if (states.isArray()) {
        for (const Json::Value& element : states) {
            processing[JsonToInt(JsonMember(element, "FileId"))] = element;
        }
    }
    const int currentId = JsonToInt(JsonMember(progress, "CurrentFileId"), -1);
    const int total = JsonToInt(JsonMember(progress, "TotalCount"));
    for (int id = 0; id < total; ++id) {
        const auto element = processing.find(id);
        double process = 0.0;
        int fileState = 0;
        if (succeededIds.count(id) != 0) {
            process = 100.0;
        } else if (element != processing.end()) {
            process = Foundation::JsonToDouble(JsonMember(element->second, "Process"));
        } else if (id == currentId) {
            process = Foundation::JsonToDouble(JsonMember(progress, "CurrentFileProcess"));
        }
        if (succeededIds.count(id) != 0 || deletedIds.count(id) != 0) {
            fileState = 3;
        } else if (element != processing.end()) {
            fileState = JsonToInt(JsonMember(element->second, "State"));
        } else if (failedIds.count(id) != 0) {
            fileState = 5;
        } else if (id == currentId) {
            fileState = 2;
        }
        Json::Value record(Json::objectValue);
        record["token"] = token;
        record["fileId"] = id;
        record["process"] = process;
        record["state"] = fileState;
        fileRecords.append(record);
    }
    return state;
}

int CDownloadManager::OnTick(uint64_t /*timerId*/)
{
    Json::Value fileRecords(Json::arrayValue);
    Json::Value jobRecords(Json::arrayValue);
    auto report = [&](std::map<int, CDownloadCtrl*>& table) {
        for (auto it = table.begin(); it != table.end();) {
            const int state = AppendJobRecords(it->first, it->second, fileRecords, jobRecords);
            if (IsFinalState(state)) {
                CDownloadCtrl* job = it->second;
                it = table.erase(it);
                delete job;
                std::lock_guard<std::mutex> tokens(m_tokenLock);
                m_jobTokens.erase(job);
            } else {
                ++it;
            }
        }
    };
    {
        std::lock_guard<std::mutex> running(m_runningLock);
        report(m_running);
        std::lock_guard<std::mutex> waiting(m_waitingLock);
        report(m_waiting);
        if (static_cast<int>(m_running.size()) < m_maxRunning) {
            for (auto it = m_waiting.begin(); it != m_waiting.end();) {
                if (it->second == nullptr) {
                    it = m_waiting.erase(it);
                    continue;
                }
                m_running[it->first] = it->second;
                CDownloadCtrl* job = it->second;
                m_waiting.erase(it);
                job->Start();
                break;
            }
        }
    }
    if (!fileRecords.empty()) {
        Foundation::NotifyWebEvent(m_context, "notifyDownloadProcess", fileRecords);
        qDebug() << "CDownloadManager::notifyDownloadProcess:" << Foundation::JsonFastText(fileRecords).c_str();
    }
    if (!jobRecords.empty()) {
        Foundation::NotifyWebEvent(m_context, "notifyDownloadAllProcess", jobRecords);
        qDebug() << "CDownloadManager::notifyDownloadAllProcess:" << Foundation::JsonFastText(jobRecords).c_str();
    }
    return 1;
}

void CDownloadManager::OnJobFinished(CDownloadCtrl* job, bool success)
{
    if (!success) {
        return;
    }
    std::lock_guard<std::mutex> tokens(m_tokenLock);
    const auto found = m_jobTokens.find(job);
    if (found == m_jobTokens.end()) {
        return;
    }
    const int token = found->second;
    if (Contains(m_scannedTokens, token) || !Contains(m_videoTokens, token)) {
        return;
    }
    const std::string savePath = job->GetSavePath();
    RunInBackground([this, savePath] { ScanForRecordings(savePath); });
    m_scannedTokens.push_back(token);
}

void CDownloadManager::ScanForRecordings(const std::string& savePath)
{
    QDirIterator files(QString::fromStdString(savePath), QStringList() << "*.rkv", QDir::Files,
                       QDirIterator::Subdirectories);
    if (!files.hasNext()) {
        return;
    }
    Json::Value request(Json::objectValue);
    request["filePath"] = kPlayerProgram;
    request["savePath"] = savePath;
    request["byPiece"] = true;
    CJsonHelper::UpperFirstLetterOfKeys(request);
    RemoteDownload(request);
}

bool CDownloadManager::downloadRemoteFile(const Json::Value& downloadInfo)
{
    Json::Value request = downloadInfo;
    CJsonHelper::UpperFirstLetterOfKeys(request);
    RunInBackground([this, request] { RemoteDownload(request); });
    return true;
}

void CDownloadManager::RunInBackground(std::function<void()> task)
{
    m_background.start(std::move(task));
}

void CDownloadManager::WaitForBackgroundTasks()
{
    m_background.waitForDone();
}

void CDownloadManager::RemoteDownload(const Json::Value& request)
{
    using Foundation::JsonMember;
    auto devices = Foundation::QueryHostService<IDeviceMgr>(m_context, Foundation::TypeName::IDeviceMgr);
    if (!devices) {
        return;
    }
    IDevice* device = devices->GetCurrentDevice();
    const std::string savePath = Foundation::JsonStringOrEmpty(JsonMember(request, "SavePath"));
    const bool adjust = Foundation::JsonToBool(JsonMember(request, "AdjustFileNameIfExists"));
    const bool byPiece = Foundation::JsonToBool(JsonMember(request, "ByPiece"));
    const Json::Value saveNames = AsArray(JsonMember(request, "SaveName"));
    const Json::Value contents = JsonMember(request, "FileContents");
    const bool byContents = contents.isArray();
    const char* member = byContents ? "FileContents" : "FilePath";
    const Json::Value sources = byContents ? contents : AsArray(JsonMember(request, "FilePath"));

    Json::Value result(Json::objectValue);
    int succeededCount = 0;
    int failedCount = 0;
    const int total = sources.isArray() ? static_cast<int>(sources.size()) : 0;
    for (int i = 0; i < total; ++i) {
        const std::string text = Foundation::JsonStringOrEmpty(sources[i]);
        std::string name = saveNames.isArray() && i < static_cast<int>(saveNames.size())
                               ? Foundation::JsonStringOrEmpty(saveNames[i])
                               : std::string();
        if (name.empty()) {
            name = LastPathComponent(text);
        }
        Json::Value fileInfo(Json::objectValue);
        fileInfo[member] = sources[i];
        bool ok = false;
        {
            CDownloadByRemote remote(device, fileInfo, savePath, name, byPiece, adjust);
            ok = remote.Start();
        }
        result[member] = sources;
        result["TotalNum"] = total;
        if (ok) {
            result["SuccessedNum"] = ++succeededCount;
        } else {
            result["FailedNum"] = ++failedCount;
        }
        Foundation::NotifyWebEvent(m_context, "RemoteFileDownloadResult", result);
        qDebug() << "RemoteFileDownloadResult:" << Foundation::JsonFastText(result).c_str();
    }
}

std::string CDownloadManager::getDiskFreeSpace(const std::string& driverName)
{
    const QStorageInfo storage(QString::fromStdString(driverName));
    if (driverName.empty() || !storage.isValid() || !storage.isReady()) {
        qDebug() << "CDownloadFileCtrl::getDiskFreeSpace: ERROR :call to GetDiskFreeSpaceEx() failed!";
        return "GetDiskFreeSpaceFailed";
    }
    return std::to_string(storage.bytesFree());
}

}  // namespace Tolvane
