#include "downloadctrl.h"

#include <QDebug>
#include <QFileInfo>
#include <QString>

#include <foundation/JsonRead.h>

#include "aisearcher.h"
#include "downloadfilectrl.h"
#include "exceldataformater.h"
#include "excelexporter.h"
#include "excelrowbuilder.h"
#include "filehelpers.h"
#include "jsonhelper.h"
#include "timetext.h"

namespace Tolvane {

namespace {

constexpr const char kTimeFormat[] = "yyyy-MM-dd hh:mm:ss";
constexpr const char kCompactTimeFormat[] = "yyyyMMddhhmmss";
constexpr int kClipMarginSeconds = 10;

using Foundation::JsonFind;
using Foundation::JsonMember;
using Foundation::JsonStringOrEmpty;

std::string Text(const Json::Value& object, const char* name)
{
    return JsonStringOrEmpty(JsonMember(object, name));
}

Json::Value Element(const Json::Value& array, Json::ArrayIndex index)
{
    return array.isArray() && index < array.size() ? array[index] : Json::Value();
}

Json::Value::UInt ReadUnsigned(const Json::Value& value)
{
    if (value.isUInt()) {
        return value.asUInt();
    }
    if (value.isInt64() && value.asInt64() >= 0) {
        return static_cast<Json::Value::UInt>(value.asInt64());
    }
    if (value.isDouble() && value.asDouble() >= 0 && value.asDouble() < 4294967296.0) {
        return static_cast<Json::Value::UInt>(value.asDouble());
    }
    if (value.isBool()) {
        return value.asBool() ? 1 : 0;
    }
    return 0;
}

// "SummaryNew" (object, or array whose first element is used)."Value"."MosaicPicInfo"[0]."GroupID".
std::string GroupOf(const Json::Value& item)
{
    Json::Value summary = JsonMember(item, "SummaryNew");
    if (summary.isArray()) {
        summary = Element(summary, 0);
    }
    const Json::Value info = Element(JsonMember(JsonMember(summary, "Value"), "MosaicPicInfo"), 0);
    return std::to_string(ReadUnsigned(JsonMember(info, "GroupID")));
}

// The item's "SaveName". Without one: a video takes the last component of its "FilePath"
// (either slash) with the ".rkv" extension, else the clip name of its channel and span; a
// picture takes that component as it is, ".jpg" added when it has no extension.
std::string SaveNameOf(const Json::Value& item, bool video)
{
    const std::string saveName = Text(item, "SaveName");
    if (!saveName.empty()) {
        return saveName;
    }
    const std::string path = Text(item, "FilePath");
    const std::size_t slash = path.find_last_of("/\\");
    const QFileInfo last(QString::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1)));
    if (video) {
        return last.completeBaseName().isEmpty() ? VideoFileName(item, Json::Value())
                                                 : last.completeBaseName().toStdString() + ".rkv";
    }
    if (last.fileName().isEmpty() || !last.suffix().isEmpty()) {
        return last.fileName().toStdString();
    }
    return last.fileName().toStdString() + ".jpg";
}

void CompactLog(const char* prefix, const Json::Value& value)
{
    qDebug() << prefix << Foundation::JsonFastText(value).c_str();
}

}  // namespace

CDownloadCtrl::CDownloadCtrl() = default;

CDownloadCtrl::CDownloadCtrl(HostContext* context, const Json::Value& description, const std::string& saveFolder)
    : m_context(context), m_description(description), m_saveFolder(saveFolder), m_jobFolder(saveFolder)
{
    CompactLog("CDownloadCtrl::CDownloadCtrl SearchParam:", JsonMember(description, "SearchParam"));
    CompactLog("CDownloadCtrl::CDownloadCtrl ExcelParam:", JsonMember(description, "ExcelParam"));
    CompactLog("CDownloadCtrl::CDownloadCtrl FileList:", JsonMember(description, "FileList"));
    CompactLog("CDownloadCtrl::CDownloadCtrl ExcludeList:", JsonMember(description, "ExcludeList"));
    if (!m_description.isObject()) {
        m_description = Json::Value(Json::objectValue);
    }
    CJsonHelper::UpperFirstLetterOfKeys(m_description);

    m_byTime = Foundation::JsonToBool(JsonMember(m_description, "ByTime"));
    const Json::Value searchParam = JsonMember(m_description, "SearchParam");
    const Json::Value condition = JsonMember(searchParam, "Condition");

    const Json::Value channels = JsonMember(condition, "Channels");
    const Json::Value channelNames = JsonMember(condition, "ChannelNames");
    for (int i = 0; i < Foundation::JsonMemberCount(channels) && channels.isArray(); ++i) {
        const int number = Foundation::JsonToInt(channels[i]);
        const Json::Value name = Element(channelNames, static_cast<Json::ArrayIndex>(i));
        m_channelNames[std::to_string(number)] = channelNames.isArray() && i < static_cast<int>(channelNames.size())
                                                     ? JsonStringOrEmpty(name)
                                                     : std::string("Unknown");
    }

    m_saveBits = SaveTypeBitsOf(JsonMember(m_description, "SaveType"));
    const Json::Value excludeList = JsonMember(m_description, "ExcludeList");
    if (excludeList.isArray()) {
        for (const Json::Value& element : excludeList) {
            m_excludedPaths.insert(Text(element, "FilePath"));
        }
    }
    m_searchJob = !searchParam.isNull();
    if (!m_description["FileList"].isArray()) {
        m_description["FileList"] = Json::Value(Json::arrayValue);
    }
    int count = static_cast<int>(m_description["FileList"].size());

    if (m_searchJob) {
        if (count == 0) {
            count = Foundation::JsonToInt(JsonMember(searchParam, "ToTalNum"));
            m_search = std::make_unique<CAiSearcher>(context, condition, count);
            m_search->SetResultSink(AiSearchResultSink(this, &CDownloadCtrl::OnSearchResult));
        }
        Json::Value& excel = m_description["ExcelParam"];
        if (!excel.isObject()) {
            excel = Json::Value(Json::objectValue);
        }
        const std::string start = ReformatTimeText(Text(condition, "StartTime"), kTimeFormat, kCompactTimeFormat);
        const std::string end = ReformatTimeText(Text(condition, "EndTime"), kTimeFormat, kCompactTimeFormat);
        const QString name = QString("%1_%2_%3").arg(QString::fromStdString(Text(excel, "SubPath")),
                                                     QString::fromStdString(start), QString::fromStdString(end));
        m_jobFolder = MakeUniqueFileName((m_saveFolder + "/" + name.toStdString()).c_str()).toStdString();
        // Made at once, so a second job for the same span cannot pick the same folder.
        MakePath(m_jobFolder.c_str());

        if (excel["AiType"].isString()) {
            const Json::Value type = excel["AiType"];
            const Json::Value headers = excel["Headers"];
            excel["AiType"] = Json::Value(Json::arrayValue);
            excel["AiType"].append(type);
            excel["Headers"] = Json::Value(Json::arrayValue);
            excel["Headers"].append(headers);
        }
        const Json::Value aiTypes = excel["AiType"];
        if (aiTypes.isArray() && aiTypes.size() == 1) {
            m_aiTypeKey = JsonStringOrEmpty(aiTypes[0]);
        }
        const std::map<std::string, std::string> aliases = {{"HumanTrait", "Human"}, {"HumanImage", "Human"}};
        for (int i = 0; i < Foundation::JsonMemberCount(aiTypes) && aiTypes.isArray(); ++i) {
            Json::Value parameters = excel;
            parameters["AiType"] = aiTypes[i];
            parameters["Headers"] = Element(excel["Headers"], static_cast<Json::ArrayIndex>(i));
            const std::string key = JsonStringOrEmpty(parameters["AiType"]);
            if (m_builders.count(key) != 0) {
                continue;
            }
            const auto alias = aliases.find(key);
            const std::string fileName = (alias != aliases.end() ? alias->second : key) + ".xls";
            parameters["SaveType"] = m_saveBits;
            m_builders[key] = std::make_unique<CExcelRowBuilder>(parameters, m_jobFolder, fileName, m_channelNames);
            if ((m_saveBits & SaveSheets) != 0) {
                m_exporters[key] =
                    std::make_unique<CExcelExporter>(context, m_jobFolder, fileName, Text(excel, "SheetName"));
            }
        }
    }

    for (Json::Value& item : m_description["FileList"]) {
        PlanFile(item);
    }
    m_worker = std::make_unique<CDownloadFileCtrl>(context, m_description["FileList"],
                                                   count - Foundation::JsonMemberCount(excludeList));
    m_worker->SetFileFinishedCallback(
        CDownloadFileCtrl::FileFinishedCallback(this, &CDownloadCtrl::OnFileFinished));
}

CDownloadCtrl::~CDownloadCtrl()
{
    Stop(Json::Value());
}

void CDownloadCtrl::SetFinishedHandler(const FinishedHandler& handler)
{
    m_finishedHandler = handler;
}

int CDownloadCtrl::SaveTypeBitsOf(const Json::Value& saveTypes)
{
    static const std::map<std::string, int> kBits = {
        {"video", SaveVideo}, {"rkv", SaveVideo}, {"jpg", SavePictures}, {"xls", SaveSheets}, {"csv", SaveSheets}};
    int bits = 0;
    if (saveTypes.isArray()) {
        for (const Json::Value& type : saveTypes) {
            const auto found = kBits.find(JsonStringOrEmpty(type));
            bits |= found != kBits.end() ? found->second : 0;
        }
    }
    return bits;
}

std::string CDownloadCtrl::PictureLabel(const std::string& entryName, const std::string& start,
                                        const std::string& group)
{
    const QString name = QString::fromStdString(entryName);
    auto matches = [&name](std::initializer_list<const char*> names) {
        for (const char* candidate : names) {
            if (name.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0) {
                return true;
            }
        }
        return false;
    };
    if (matches({"TargetPic", "FaceTargetPic", "HumanTargetPic"})) {
        return "globalPic";
    }
    if (matches({"FacePic", "HumanPic", "ObjectPic", "PlatePic", "VehiclePic", "Non-MotorVehiclePic"})) {
        return "snapPic";
    }
    if (entryName.find("OriginalPicPath") != std::string::npos) {
        return "OriginalPic/" + start + "_" + group;
    }
    if (entryName.find("MosaicPicPath") != std::string::npos) {
        return "MosaicPic/" + start + "_" + group;
    }
    return std::string();
}

void CDownloadCtrl::PlanFile(Json::Value& item)
{
    if (!item.isObject()) {
        return;
    }
    const auto builder = m_builders.find(m_aiTypeKey);
    if (builder != m_builders.end()) {
        builder->second->CollectPictures(item);
    }
    if ((m_saveBits & SavePictures) != 0) {
        if (m_searchJob) {
            PlanSearchPictures(item);
        } else if (!Text(item, "FilePath").empty()) {
            Json::Value entry(Json::objectValue);
            entry["FilePath"] = Text(item, "FilePath");
            entry["SavedFileName"] = m_saveFolder + "/" + SaveNameOf(item, false);
            entry["Needed"] = true;
            item["DownloadInfo"]["Pic"] = entry;
        }
    }
    if ((m_saveBits & SaveVideo) != 0) {
        PlanVideo(item);
    }
    Json::Value* plan = &item["DownloadInfo"];
    if (plan->isObject()) {
        DropDuplicateTarget(*plan, "FaceTargetPic", "HumanTargetPic");
        DropDuplicateTarget(*plan, "Pic_FaceTargetPic", "Pic_HumanTargetPic");
    } else if (plan->isNull()) {
        item.removeMember("DownloadInfo");
    }
}

void CDownloadCtrl::PlanSearchPictures(Json::Value& item)
{
    const Json::Value plan = JsonMember(item, "DownloadInfo");
    if (!plan.isObject()) {
        return;
    }
    const std::string start = ReformatTimeText(Text(item, "StartTime"), kTimeFormat, kCompactTimeFormat);
    const std::string group = GroupOf(item);
    // A snapshot of the names: the entries written here are not planned again.
    for (const std::string& name : plan.getMemberNames()) {
        if (name.compare(0, 4, "Pic_") == 0) {
            continue;
        }
        const std::string label = PictureLabel(name, start, group);
        if (label.empty()) {
            continue;
        }
        const Json::Value& source = plan[name];
        const std::string file =
            QFileInfo(QString::fromStdString(Text(source, "SavedFileName"))).fileName().toStdString();
        Json::Value entry(Json::objectValue);
        entry["FilePath"] = Text(source, "FilePath");
        entry["SavedFileName"] = m_jobFolder + "/pics/" + label + "/" + file;
        entry["Needed"] = true;
        item["DownloadInfo"]["Pic_" + name] = entry;
    }
}

void CDownloadCtrl::PlanVideo(Json::Value& item)
{
    std::string start;
    std::string end;
    if (!Text(item, "StartTime").empty()) {
        start = Text(item, "StartTime");
        end = Text(item, "EndTime");
    } else {
        start = end = Text(item, "Time");
    }
    if (TimeTextDiffSeconds(start, end, kTimeFormat) == 0 && !start.empty()) {
        start = AddSecondsToTimeText(start, kTimeFormat, -kClipMarginSeconds);
        end = AddSecondsToTimeText(end, kTimeFormat, kClipMarginSeconds);
    }
    Json::Value entry(Json::objectValue);
    entry["FilePath"] = Text(item, "FilePath");
    entry["StartTime"] = start;
    entry["EndTime"] = end;
    if (m_searchJob) {
        entry["SavedFileName"] = ReserveFileName(m_jobFolder + "/video/" + VideoFileName(item, m_channelNames));
        entry["ByTime"] = true;
    } else {
        entry["SavedFileName"] = ReserveFileName(m_saveFolder + "/" + SaveNameOf(item, true));
        entry["ByTime"] = m_byTime;
    }
    entry["Needed"] = true;
    item["DownloadInfo"]["Video"] = entry;
}

std::string CDownloadCtrl::ReserveFileName(const std::string& path)
{
    std::lock_guard<std::mutex> lock(m_nameLock);
    const std::string name = MakeUniqueFileName(QString::fromStdString(path), [this](const QString& candidate) {
                                 return m_reservedNames.count(candidate.toStdString()) != 0;
                             }).toStdString();
    m_reservedNames.insert(name);
    return name;
}

void CDownloadCtrl::ReleaseFileNames(const Json::Value& items)
{
    std::lock_guard<std::mutex> lock(m_nameLock);
    for (const Json::Value& item : items) {
        const Json::Value video = JsonMember(JsonMember(item, "DownloadInfo"), "Video");
        m_reservedNames.erase(Text(video, "SavedFileName"));
    }
}

void CDownloadCtrl::DropDuplicateTarget(Json::Value& plan, const char* first, const char* second)
{
    const Json::Value* a = JsonFind(plan, first);
    const Json::Value* b = JsonFind(plan, second);
    if (a == nullptr || b == nullptr) {
        return;
    }
    const QString pathA = QString::fromStdString(Text(*a, "FilePath"));
    const QString pathB = QString::fromStdString(Text(*b, "FilePath"));
    if (pathA.compare(pathB, Qt::CaseInsensitive) == 0 && Foundation::JsonToBool(JsonMember(*a, "Needed")) &&
        Foundation::JsonToBool(JsonMember(*b, "Needed")) && b->isObject()) {
        plan[second]["Needed"] = false;
    }
}

void CDownloadCtrl::BuildRows(const Json::Value& records, Json::Value& out)
{
    std::lock_guard<std::mutex> lock(m_rowLock);
    int index = static_cast<int>(m_fileRows.size());
    if (!records.isArray()) {
        return;
    }
    for (const Json::Value& record : records) {
        FileRow fileRow;
        fileRow.key = m_aiTypeKey;
        const auto builder = m_builders.find(m_aiTypeKey);
        if (builder != m_builders.end()) {
            const Json::Value row = builder->second->BuildRow(record);
            if (!row.isNull()) {
                out[m_aiTypeKey]["Data"].append(row);
                fileRow.row = m_rowCounters[m_aiTypeKey]++;
                fileRow.links.push_back("VideoName");
                const Json::Value plan = JsonMember(record, "DownloadInfo");
                if (plan.isObject()) {
                    for (const std::string& name : plan.getMemberNames()) {
                        if (name != "Video" && name != "Pic" && name.compare(0, 4, "Pic_") != 0) {
                            fileRow.links.push_back(name);
                        }
                    }
                }
            }
        }
        m_fileRows[index++] = fileRow;
    }
}

bool CDownloadCtrl::Start()
{
    Json::Value rows(Json::objectValue);
    BuildRows(m_description["FileList"], rows);
    for (auto& exporter : m_exporters) {
        const auto builder = m_builders.find(exporter.first);
        if (builder == m_builders.end()) {
            continue;
        }
        Json::Value block(Json::objectValue);
        block["CellFormat"]["Width"] = 15;
        block["CellFormat"]["Height"] = 15;
        block["CellFormat"]["HAlignment"] = 0;
        block["CellFormat"]["VAlignment"] = 0;
        block["Data"].append(builder->second->BuildHeaderRow());
        exporter.second->Start();
        exporter.second->AddRow(block);
        const Json::Value* data = JsonFind(rows, exporter.first);
        if (data != nullptr && !data->isNull()) {
            m_exportersWithData.insert(exporter.second.get());
            exporter.second->AddRow(*data);
        }
    }
    if (m_worker) {
        m_worker->Start();
    }
    if (m_search) {
        m_search->Start();
    }
    m_state = StateRunning;
    return true;
}

int CDownloadCtrl::OnSearchResult(CAiSearcher* /*search*/, const Json::Value& records)
{
    const int state = m_state.load();
    if (state == StateEnded) {
        return -1;
    }
    if (state == StatePaused) {
        return 0;
    }
    Json::Value kept(Json::arrayValue);
    if (records.isArray()) {
        for (const Json::Value& record : records) {
            if (m_excludedPaths.count(Text(record, "FilePath")) == 0) {
                Json::Value planned = record;  // planned on a copy: a refused batch comes again unplanned
                PlanFile(planned);
                kept.append(planned);
            }
        }
    }
    if (!m_worker || !m_worker->AddFiles(kept)) {
        ReleaseFileNames(kept);  // planned again when the batch comes again
        return 0;
    }
    m_delivered += static_cast<int>(kept.size());
    Json::Value rows(Json::objectValue);
    BuildRows(kept, rows);
    for (auto& exporter : m_exporters) {
        const Json::Value* data = JsonFind(rows, exporter.first);
        if (data != nullptr && !data->isNull()) {
            {
                std::lock_guard<std::mutex> lock(m_rowLock);
                m_exportersWithData.insert(exporter.second.get());
            }
            exporter.second->AddRow(*data);
        }
    }
    return 1;
}

bool CDownloadCtrl::OnFileFinished(CDownloadFileCtrl* /*worker*/, int fileId, bool success)
{
    if (!success) {
        SetCellValue(fileId, "VideoName", "NA");
    }
    if (!m_finishedHandler.empty()) {
        m_finishedHandler(this, success);
    }
    return true;
}

void CDownloadCtrl::MarkUnfinishedRows(const Json::Value& succeededIds)
{
    std::set<int> done;
    for (const Json::Value& id : succeededIds) {
        done.insert(Foundation::JsonToInt(id));
    }
    std::map<int, FileRow> rows;
    {
        std::lock_guard<std::mutex> lock(m_rowLock);
        rows = m_fileRows;
    }
    for (const auto& entry : rows) {
        if (done.count(entry.first) != 0) {
            continue;
        }
        for (const std::string& key : entry.second.links) {
            SetCellValue(entry.first, key, "NA");
        }
    }
}

bool CDownloadCtrl::SetCellValue(int fileId, const std::string& key, const std::string& value)
{
    FileRow fileRow;
    {
        std::lock_guard<std::mutex> lock(m_rowLock);
        const auto found = m_fileRows.find(fileId);
        if (found != m_fileRows.end()) {
            fileRow = found->second;
        }
    }
    const auto exporter = m_exporters.find(fileRow.key);
    const auto builder = m_builders.find(fileRow.key);
    if (exporter == m_exporters.end() || builder == m_builders.end()) {
        return false;
    }
    const int column = builder->second->ColumnOf(key);
    if (column == -1) {
        return false;
    }
    Json::Value cell(Json::objectValue);
    cell["Row"] = fileRow.row + 2;
    cell["Col"] = column + 1;
    cell["Value"] = value;
    exporter->second->AddCell(cell);
    return true;
}

void CDownloadCtrl::SettleSearchTotal()
{
    // The search may deliver fewer records than wanted (the device has fewer, or some were
    // excluded); the job then ends once those are accounted for.
    if (m_totalSettled || !m_search || !m_search->IsFinished() || !m_worker) {
        return;
    }
    m_totalSettled = true;
    m_worker->SetTotalCount(m_delivered.load());
}

Json::Value CDownloadCtrl::GetProgress()
{
    Json::Value record(Json::objectValue);
    if (!m_worker) {
        record["Process"] = 100;
    } else {
        SettleSearchTotal();
        record = m_worker->GetProgress();
        const int state = m_state.load();
        if (Foundation::JsonToInt(JsonMember(record, "Process")) >= 100 && state != StateEnded &&
            state != StateFailed) {
            End(true);
        }
    }
    const Json::Value failedSheets = FailedSheets();
    if (!failedSheets.empty()) {
        record["FailedSheets"] = failedSheets;
    }
    record["State"] = m_state.load();
    return record;
}

void CDownloadCtrl::End(bool allRows)
{
    // Ended first, so a batch on its way is refused for good; then the search (whose thread
    // hands batches to the worker) goes before the worker, and the files the worker
    // accounted for decide the rows' links before the sheets are completed.
    m_state = StateEnded;
    m_search.reset();
    if (m_worker) {
        m_worker->Shutdown();
        MarkUnfinishedRows(JsonMember(m_worker->GetProgress(), "SucceededFileIds"));
    }
    FinishSheets(allRows);
    if (!m_failedSheets.empty()) {
        m_state = StateFailed;
    }
}

void CDownloadCtrl::FinishSheets(bool allRows)
{
    for (auto& exporter : m_exporters) {
        const std::string path = exporter.second->GetFilePath();
        const bool hadData = m_exportersWithData.count(exporter.second.get()) != 0;
        if (!allRows) {
            exporter.second->Stop();
        }
        if (!exporter.second->Finish()) {
            m_failedSheets.append(path);  // the exporter left no partial sheet
        } else if (!hadData) {
            RemoveFile(path.c_str());
        }
        exporter.second.reset();
    }
    m_exporters.clear();
    m_exportersWithData.clear();
}

Json::Value CDownloadCtrl::FailedSheets() const
{
    Json::Value failed = m_failedSheets;
    for (const auto& exporter : m_exporters) {
        if (exporter.second->IsFailed()) {
            failed.append(exporter.second->GetFilePath());
        }
    }
    return failed;
}

bool CDownloadCtrl::Pause(const Json::Value& fileIds)
{
    if (CDownloadFileCtrl::IsEmptyList(fileIds)) {
        m_state = StatePaused;
    }
    if (m_worker) {
        m_worker->Pause(fileIds);
    }
    return true;
}

bool CDownloadCtrl::Resume(const Json::Value& fileIds)
{
    m_state = StateRunning;
    if (m_worker) {
        m_worker->Resume(fileIds);
    }
    return true;
}

bool CDownloadCtrl::Stop(const Json::Value& fileIds)
{
    if (!CDownloadFileCtrl::IsEmptyList(fileIds)) {
        if (m_worker) {
            m_worker->Stop(fileIds);
        }
        return true;
    }
    End(false);
    m_worker.reset();
    m_builders.clear();
    return true;
}

}  // namespace Tolvane
