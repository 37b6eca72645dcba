#include "downloadfilectrl.h"

#include <algorithm>
#include <vector>

#include <QFileInfo>
#include <QString>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include <tolvane/IDeviceMgr.h>

#include "download.h"
#include "downloadbyremote.h"

namespace Tolvane {

namespace {

// The file ids of a list; elements that are not whole numbers in range name no file.
std::vector<int> IdsOf(const Json::Value& ids)
{
    std::vector<int> out;
    if (ids.isArray()) {
        for (const Json::Value& id : ids) {
            if (id.isNumeric() && id.isInt()) {
                out.push_back(id.asInt());
            }
        }
    }
    return out;
}

bool Contains(const Json::Value& array, int id)
{
    for (const Json::Value& element : array) {
        if (Foundation::JsonToInt(element) == id) {
            return true;
        }
    }
    return false;
}

bool IsFinal(int state)
{
    return state == IDownload::StateFinished || state == IDownload::StateFailed;
}

// Lays an entry's value over the item, under its name and, when the page sent it so,
// under the lower-case twin the device reads.
void Overlay(Json::Value& item, const Json::Value& entry, const char* name, const char* lowerName)
{
    const Json::Value* value = Foundation::JsonFind(entry, name);
    if (value == nullptr) {
        return;
    }
    const Json::Value text(Foundation::JsonStringOrEmpty(*value));
    item[name] = text;
    if (Foundation::JsonFind(item, lowerName) != nullptr) {
        item[lowerName] = text;
    }
}

}  // namespace

CDownloadFileCtrl::CDownloadFileCtrl(HostContext* context, const Json::Value& items, int totalCount)
    : m_context(context != nullptr ? *context : HostContext()), m_totalCount(totalCount)
{
    m_deviceMgr = Foundation::QueryHostService<IDeviceMgr>(context, Foundation::TypeName::IDeviceMgr);
    if (m_deviceMgr) {
        m_device = m_deviceMgr->GetCurrentDevice();
    }
    if (items.isArray()) {
        for (const Json::Value& item : items) {
            m_waiting[++m_lastId] = item;
        }
    }
    m_workSignal.release();
}

CDownloadFileCtrl::~CDownloadFileCtrl()
{
    Shutdown();
}

void CDownloadFileCtrl::Shutdown()
{
    StopAll();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    for (auto& entry : m_pausedPieces) {
        delete entry.second.download;
    }
    m_pausedPieces.clear();
    for (auto& entry : m_resumedPieces) {
        delete entry.second.download;
    }
    m_resumedPieces.clear();
}

bool CDownloadFileCtrl::SetFileFinishedCallback(const FileFinishedCallback& callback)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_callback = callback;
    return true;
}

bool CDownloadFileCtrl::Start()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (m_stop) {
        return false;
    }
    if (!m_thread.joinable()) {
        m_thread = std::thread(&CDownloadFileCtrl::WorkLoop, this);
    }
    return true;
}

bool CDownloadFileCtrl::AddFiles(const Json::Value& items)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (static_cast<int>(m_waiting.size()) >= kPendingLimit) {
        return false;
    }
    if (items.isArray()) {
        for (const Json::Value& item : items) {
            m_waiting[++m_lastId] = item;
        }
    }
    m_workSignal.release();
    return true;
}

int CDownloadFileCtrl::WaitingCount()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return static_cast<int>(m_waiting.size());
}

void CDownloadFileCtrl::SetTotalCount(int totalCount)
{
    std::lock_guard<std::mutex> tally(m_tallyLock);
    m_totalCount = totalCount;
}

IDownload* CDownloadFileCtrl::MakePiece(bool video, IDevice* device, const Json::Value& item,
                                        const std::string& folder, const std::string& fileName, bool byTime)
{
    if (video) {
        return new CDownloadByPlayback(&m_context, device, item, folder, fileName, byTime);
    }
    return new CDownloadByRemote(device, item, folder, fileName, false, true);
}

void CDownloadFileCtrl::WorkLoop()
{
    std::unique_lock<std::recursive_mutex> lock(m_lock);
    while (!m_stop) {
        if (m_waiting.empty() && m_resumedPieces.empty()) {
            lock.unlock();
            m_workSignal.acquire();
            lock.lock();
            continue;
        }
        const int waitingId = m_waiting.empty() ? -1 : m_waiting.begin()->first;
        if (!m_resumedPieces.empty() && (waitingId == -1 || m_resumedPieces.begin()->first < waitingId)) {
            const int id = m_resumedPieces.begin()->first;
            const Piece piece = m_resumedPieces.begin()->second;
            m_resumedPieces.erase(m_resumedPieces.begin());
            {
                std::lock_guard<std::mutex> tally(m_tallyLock);
                m_currentId = id;
            }
            if (IsFinal(piece.download->GetState())) {
                // It ended while it was held; settle it without running it again.
                std::lock_guard<std::mutex> tally(m_tallyLock);
                PieceEnded(id, piece.download->GetState() == IDownload::StateFinished);
                delete piece.download;
                continue;
            }
            m_current = piece;
            SetCurrent(piece);
            piece.download->Resume();
            lock.unlock();
            m_pieceDone.acquire();
            lock.lock();
        } else {
            const int id = waitingId;
            const Json::Value item = m_waiting.begin()->second;
            m_waiting.erase(m_waiting.begin());
            StartFile(id, item);
            while (!m_remaining.empty() && !m_stop) {
                const Piece piece = m_remaining.front();
                m_remaining.pop_front();
                m_current = piece;
                SetCurrent(piece);
                piece.download->Start();
                lock.unlock();
                m_pieceDone.acquire();
                lock.lock();
                if (m_current.download != nullptr) {
                    IDownload* done = m_current.download;
                    m_current = Piece();
                    SetCurrent(Piece());
                    delete done;
                }
            }
        }
        if (m_current.download != nullptr) {
            IDownload* done = m_current.download;
            m_current = Piece();
            SetCurrent(Piece());
            delete done;
        }
    }
    for (Piece& piece : m_remaining) {
        delete piece.download;
    }
    m_remaining.clear();
}

void CDownloadFileCtrl::SetCurrent(const Piece& piece)
{
    std::lock_guard<std::mutex> tally(m_tallyLock);
    m_reporting = piece.download;
    m_reportingVideo = piece.video;
}

void CDownloadFileCtrl::StartFile(int id, const Json::Value& item)
{
    const Json::Value* plan = Foundation::JsonFind(item, "DownloadInfo");
    std::vector<Piece> pieces;
    if (plan != nullptr && plan->isObject()) {
        // Json::Value keeps members in byte order of their names.
        for (const std::string& name : plan->getMemberNames()) {
            const Json::Value& entry = (*plan)[name];
            if (!Foundation::JsonToBool(Foundation::JsonMember(entry, "Needed"))) {
                continue;
            }
            const QFileInfo target(QString::fromStdString(Foundation::JsonStringOrEmpty(
                Foundation::JsonMember(entry, "SavedFileName"))));
            Json::Value pieceItem = item;
            Overlay(pieceItem, entry, "FilePath", "filePath");
            Overlay(pieceItem, entry, "StartTime", "startTime");
            Overlay(pieceItem, entry, "EndTime", "endTime");
            const bool video = QString::fromStdString(name).compare("Video", Qt::CaseInsensitive) == 0;
            Piece piece;
            piece.video = video;
            piece.download = MakePiece(video, m_device, pieceItem, target.absolutePath().toStdString(),
                                       target.fileName().toStdString(),
                                       Foundation::JsonToBool(Foundation::JsonMember(entry, "ByTime")));
            if (piece.download == nullptr) {
                continue;
            }
            piece.download->SetStateHandler(IDownload::StateHandler(this, &CDownloadFileCtrl::OnDownloadFinished));
            pieces.push_back(piece);
        }
    }
    std::lock_guard<std::mutex> tally(m_tallyLock);
    m_currentId = id;
    if (pieces.empty()) {
        m_succeeded.append(id);
        return;
    }
    m_tallies[id].outstanding = static_cast<int>(pieces.size());
    m_remaining.assign(pieces.begin(), pieces.end());
}

void CDownloadFileCtrl::OnDownloadFinished(IDownload* download, int state)
{
    if (!IsFinal(state)) {
        return;
    }
    FileFinishedCallback callback;
    int id = -1;
    bool video = false;
    {
        std::lock_guard<std::mutex> tally(m_tallyLock);
        if (download == nullptr || download != m_reporting) {
            return;
        }
        m_reporting = nullptr;
        id = m_currentId;
        video = m_reportingVideo;
        PieceEnded(id, state == IDownload::StateFinished);
        callback = m_callback;
    }
    if (video && !callback.empty()) {
        callback(this, id, state == IDownload::StateFinished);
    }
    m_pieceDone.release();
}

void CDownloadFileCtrl::PieceEnded(int id, bool succeeded)
{
    auto found = m_tallies.find(id);
    if (found == m_tallies.end()) {
        return;  // the file was stopped: it counts as deleted only
    }
    Tally& tally = found->second;
    tally.succeeded = tally.succeeded || succeeded;
    if (--tally.outstanding > 0) {
        return;
    }
    (tally.succeeded ? m_succeeded : m_failed).append(id);
    m_tallies.erase(found);
}

bool CDownloadFileCtrl::IsEmptyList(const Json::Value& ids)
{
    return ids.isNull() || (ids.isArray() && ids.empty());
}

bool CDownloadFileCtrl::Pause(const Json::Value& ids)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    std::vector<int> list;
    if (IsEmptyList(ids)) {
        for (const auto& entry : m_waiting) {
            list.push_back(entry.first);
        }
    } else {
        list = IdsOf(ids);
    }
    for (int id : list) {
        bool pauseCurrent = false;
        {
            std::lock_guard<std::mutex> tally(m_tallyLock);
            pauseCurrent = id == m_currentId && m_current.download != nullptr && m_reporting == m_current.download &&
                           !IsFinal(m_current.download->GetState());
            if (pauseCurrent) {
                m_reporting = nullptr;  // its reports no longer end the thread's wait
            }
        }
        if (pauseCurrent) {
            m_current.download->Pause();
            m_pausedPieces.emplace(id, m_current);
            m_current = Piece();
            m_pieceDone.release();
        } else if (m_waiting.count(id) != 0) {
            m_pausedWaiting[id] = m_waiting[id];
            m_waiting.erase(id);
        } else {
            const auto range = m_resumedPieces.equal_range(id);
            for (auto it = range.first; it != range.second; ++it) {
                it->second.download->Pause();
                m_pausedPieces.emplace(id, it->second);
            }
            m_resumedPieces.erase(range.first, range.second);
        }
    }
    return true;
}

bool CDownloadFileCtrl::Resume(const Json::Value& ids)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    std::vector<int> list;
    if (IsEmptyList(ids)) {
        for (const auto& entry : m_pausedWaiting) {
            list.push_back(entry.first);
        }
        for (const auto& entry : m_pausedPieces) {
            if (list.empty() || list.back() != entry.first) {
                list.push_back(entry.first);
            }
        }
    } else {
        list = IdsOf(ids);
    }
    int currentId = -1;
    {
        std::lock_guard<std::mutex> tally(m_tallyLock);
        currentId = m_currentId;
    }
    for (int id : list) {
        if (id == currentId && m_current.download != nullptr) {
            m_current.download->Resume();
        } else if (m_pausedWaiting.count(id) != 0) {
            m_waiting[id] = m_pausedWaiting[id];
            m_pausedWaiting.erase(id);
        }
        // Every paused piece of the file, also while another of its pieces runs.
        const auto range = m_pausedPieces.equal_range(id);
        for (auto it = range.first; it != range.second; ++it) {
            m_resumedPieces.emplace(id, it->second);
        }
        m_pausedPieces.erase(range.first, range.second);
    }
    m_workSignal.release();
    return true;
}

bool CDownloadFileCtrl::Stop(const Json::Value& ids)
{
    if (IsEmptyList(ids)) {
        StopAll();
        return true;
    }
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    for (int id : IdsOf(ids)) {
        bool current = false;
        {
            std::lock_guard<std::mutex> tally(m_tallyLock);
            // Only a file of this job that has not ended counts as deleted, and only once.
            if (id < 0 || id > m_lastId || Contains(m_deleted, id) || Contains(m_succeeded, id) ||
                Contains(m_failed, id)) {
                continue;
            }
            current = id == m_currentId;
            // A stopped file counts as deleted, never as succeeded or failed as well.
            m_tallies.erase(id);
            m_deleted.append(id);
        }
        if (current) {
            // Its pieces not started yet go; the running one ends when it reports.
            for (Piece& piece : m_remaining) {
                delete piece.download;
            }
            m_remaining.clear();
            if (m_current.download != nullptr) {
                m_current.download->Stop();
            }
        }
        m_waiting.erase(id);
        m_pausedWaiting.erase(id);
        for (auto* pieces : {&m_resumedPieces, &m_pausedPieces}) {
            const auto range = pieces->equal_range(id);
            for (auto it = range.first; it != range.second; ++it) {
                delete it->second.download;
            }
            pieces->erase(range.first, range.second);
        }
    }
    return true;
}

void CDownloadFileCtrl::StopAll()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_stop = true;
    m_pausedWaiting.clear();
    m_waiting.clear();
    m_workSignal.release();
    for (Piece& piece : m_remaining) {
        delete piece.download;
    }
    m_remaining.clear();
    m_pieceDone.release();
}

Json::Value CDownloadFileCtrl::GetProgress()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    Json::Value record(Json::objectValue);
    Json::Value states(Json::arrayValue);
    for (const auto& entry : m_pausedWaiting) {
        Json::Value state(Json::objectValue);
        state["FileId"] = entry.first;
        state["Process"] = 0;
        state["DownloadedSize"] = 0;
        state["State"] = StatePaused;
        states.append(state);
    }
    auto addPieces = [&states](const std::multimap<int, Piece>& pieces, int fileState) {
        for (const auto& entry : pieces) {
            Json::Value state(Json::objectValue);
            state["FileId"] = entry.first;
            state["Process"] = entry.second.download ? entry.second.download->GetProgressPercent() : 0.0;
            state["DownloadedSize"] = entry.second.download ? entry.second.download->GetDownloadedSize() : 0.0;
            state["State"] = fileState;
            states.append(state);
        }
    };
    addPieces(m_pausedPieces, StatePaused);
    addPieces(m_resumedPieces, StateResumed);

    std::lock_guard<std::mutex> tally(m_tallyLock);
    record["TotalCount"] = m_totalCount;
    record["SucceededFileIds"] = m_succeeded;
    record["FailedFileIds"] = m_failed;
    record["DeletedFileIds"] = m_deleted;
    record["ProcessingStates"] = states;
    const double done = static_cast<double>(m_succeeded.size() + m_failed.size() + m_deleted.size());
    if (m_totalCount > 0) {
        record["Process"] = done / m_totalCount * 100.0;
    } else {
        // Nothing to fetch: done once nothing waits or runs any more.
        const bool idle = m_waiting.empty() && m_pausedWaiting.empty() && m_pausedPieces.empty() &&
                          m_resumedPieces.empty() && m_current.download == nullptr && m_remaining.empty();
        record["Process"] = idle ? 100.0 : 0.0;
    }
    record["CurrentFileId"] = m_currentId;
    record["CurrentFileProcess"] = m_current.download ? m_current.download->GetProgressPercent() : 0.0;
    record["CurrentFileDownloadedSize"] = m_current.download ? m_current.download->GetDownloadedSize() : 0.0;
    return record;
}

}  // namespace Tolvane
