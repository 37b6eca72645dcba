// Live stream, remote playback, downloads, talk, key frames and the player key of the
// device object. Data and progress come back on the library's threads through the
// callbacks below, which hand them to the caller's delegates.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include <QDebug>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QString>

#include <foundation/JsonRead.h>

#include <play/playsdk.h>

#include "logfacade.h"
#include "quillnetdev.h"
#include "quillnetsdk.h"
#include "timetext.h"

namespace Tolvane {

namespace {

constexpr const char kPlayModule[] = "play";

// The library waits this long for the first data of a playback.
constexpr int32_t kPlaybackWaitMs = 10000;
constexpr int kSecondaryAnalyseWaitMs = 5000;
constexpr int kRemoteFileWaitMs = 4000;
constexpr int kPieceWaitMs = 5000;
constexpr uint32_t kPieceSize = 32768;

constexpr int kMinSpeedStep = -4;
constexpr int kMaxSpeedStep = 6;

// Record-file type whose times are not checked before a download.
constexpr int kRecordTypeUnchecked = 4;

uint32_t LastError(HostContext* context)
{
    return QUILLNET_CALL(context, CLIENT_GetLastError) & QuillnetSdk::kErrorCodeMask;
}

const char* TextOrEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

QString JsonText(const Json::Value& value)
{
    return QString::fromStdString(Foundation::JsonFastText(value)).trimmed();
}

// ---- library callbacks; the user value is the caller's delegate ----

void OnRealData(qn_handle, uint32_t, const uint8_t* buffer, uint32_t size, void* user)
{
    auto* delegate = static_cast<DeviceDataDelegate*>(user);
    if (delegate != nullptr && !delegate->empty()) {
        (*delegate)(buffer, size, 0, 0);
    }
}

// 0 tells the library the block was not taken; it comes again later.
int OnData(qn_handle, uint32_t dataType, const uint8_t* buffer, uint32_t size, void* user)
{
    auto* delegate = static_cast<DeviceDataDelegate*>(user);
    if (delegate == nullptr) {
        return 1;
    }
    if (delegate->empty()) {
        return 0;
    }
    return (*delegate)(buffer, size, 0, dataType) ? 1 : 0;
}

// The total is handed on as the integer it is.
void OnPosition(qn_handle, uint32_t total, int32_t done, void* user)
{
    auto* delegate = static_cast<DevicePosDelegate*>(user);
    if (delegate != nullptr && !delegate->empty()) {
        (*delegate)(total, done);
    }
}

void OnTimePosition(qn_handle handle, uint32_t total, int32_t done, int32_t, qn_record_file, void* user)
{
    OnPosition(handle, total, done, user);
}

// ---- file information ----

bool IsSignedInteger(const Json::Value* value)
{
    return value != nullptr &&
           (value->type() == Json::intValue || (value->type() == Json::uintValue && value->isInt()));
}

bool IsText(const Json::Value* value)
{
    return value != nullptr && value->isString();
}

// "channel", "length", "startTime" and "endTime" as playback by file needs them.
bool HasFileKeys(const Json::Value& info)
{
    const Json::Value* length = Foundation::JsonFind(info, "length");
    return IsSignedInteger(Foundation::JsonFind(info, "channel")) && length != nullptr &&
           (length->isNumeric() || length->isBool()) && IsText(Foundation::JsonFind(info, "startTime")) &&
           IsText(Foundation::JsonFind(info, "endTime"));
}

bool HasTimeKeys(const Json::Value& info)
{
    return IsSignedInteger(Foundation::JsonFind(info, "channel")) &&
           IsText(Foundation::JsonFind(info, "streamType")) && IsText(Foundation::JsonFind(info, "startTime")) &&
           IsText(Foundation::JsonFind(info, "endTime"));
}

uint32_t ToUInt32(const Json::Value& value)
{
    if (value.isBool()) {
        return value.asBool() ? 1u : 0u;
    }
    return static_cast<uint32_t>(Foundation::JsonToInt(value));
}

// Fills the record from the text; a text that does not read leaves it all zero.
bool ReadTime(const Json::Value& info, const char* key, qn_time& time)
{
    DeviceTimeFields fields{};
    const bool valid = ParseDeviceTimeText(fields, Foundation::JsonCStringOrEmpty(Foundation::JsonMember(info, key)));
    time = qn_time{fields.year, fields.month, fields.day, fields.hour, fields.minute, fields.second};
    return valid;
}

qn_record_file MakeRecordFile(const Json::Value& info, uint8_t type)
{
    qn_record_file record{};
    record.channel = Foundation::JsonToInt(Foundation::JsonMember(info, "channel"));
    const std::string path = Foundation::JsonStringOrEmpty(Foundation::JsonMember(info, "filePath"));
    std::memcpy(record.path, path.data(), std::min(path.size(), sizeof(record.path) - 1));
    record.length = ToUInt32(Foundation::JsonMember(info, "length"));
    ReadTime(info, "startTime", record.start);
    ReadTime(info, "endTime", record.end);
    record.disk = Foundation::JsonToInt(Foundation::JsonMember(info, "disk"));
    record.cluster = Foundation::JsonToInt(Foundation::JsonMember(info, "cluster"));
    record.type = type;
    return record;
}

// 1 "Main", 2-4 "Extra1"-"Extra3", any other 0.
int32_t StreamNumber(const std::string& streamType)
{
    static const char* const kNames[] = {"Main", "Extra1", "Extra2", "Extra3"};
    for (int32_t i = 0; i < 4; ++i) {
        if (streamType == kNames[i]) {
            return i + 1;
        }
    }
    return 0;
}

}  // namespace

// ---- live ----

long CQuillnetDev::ConnectRealvideo(int channel, int streamType, int protocol, DeviceDataDelegate* data)
{
    TOLVANE_INFO("Tolvane", "Tolvane::CQuillnetDev::ConnectRealvideo",
                 "ch:" << channel << " stream:" << streamType << " Protocol:" << protocol);
    m_protocol.store(protocol);
    const long real = QUILLNET_CALL(m_context, CLIENT_RealPlayEx, GetLoginHandle(), channel, nullptr, streamType);
    if (real == 0) {
        return 0;
    }
    if (QUILLNET_CALL(m_context, CLIENT_SetRealDataCallBack, real, &OnRealData, static_cast<void*>(data)) != 0) {
        return real;
    }
    qDebug() << "CQuillnetDev::ConnectRealvideo: ERROR: CLIENT_SetRealDataCallBack errorCode:" << LastError(m_context);
    QUILLNET_CALL(m_context, CLIENT_StopRealPlay, real);
    return 0;
}

bool CQuillnetDev::StopRealvideo(long realHandle)
{
    return realHandle != 0 && QUILLNET_CALL(m_context, CLIENT_StopRealPlay, realHandle) == 1;
}

long CQuillnetDev::GetStatiscFlux(long realHandle)
{
    if (realHandle == 0) {
        return 0;
    }
    return QUILLNET_CALL(m_context, CLIENT_GetStatiscFlux, GetLoginHandle(), realHandle);
}

// ---- playback ----

long CQuillnetDev::Playback(const Json::Value& fileInfo, DevicePosDelegate* pos, DeviceDataDelegate* data,
                            bool byTime, bool reverse)
{
    return byTime ? PlaybackByTime(fileInfo, pos, data, reverse) : PlaybackByFile(fileInfo, pos, data, reverse);
}

namespace {

long PlaybackBySecondaryAnalyse(HostContext* context, long login, const Json::Value& fileInfo,
                                const qn_record_file& record, DevicePosDelegate* pos, DeviceDataDelegate* data,
                                bool reverse)
{
    qn_analyse_playback_in in{};
    in.size = sizeof(in);
    in.channel = record.channel;
    in.start = record.start;
    in.end = record.end;
    in.position_cb = &OnPosition;
    in.position_user = pos;
    in.data_cb = &OnData;
    in.data_user = data;
    in.reverse = reverse ? 1 : 0;
    in.task = Foundation::JsonToInt(Foundation::JsonMember(fileInfo, "AnalysisTask"));
    qn_analyse_playback_out out{};
    out.size = sizeof(out);
    return QUILLNET_CALL(context, CLIENT_PlayBackBySecondaryAnalyse, login, &in, &out, kSecondaryAnalyseWaitMs);
}

}  // namespace

long CQuillnetDev::PlaybackByFile(const Json::Value& fileInfo, DevicePosDelegate* pos, DeviceDataDelegate* data,
                                  bool reverse)
{
    if (!HasFileKeys(fileInfo)) {
        qDebug().noquote() << "CQuillnetDev::PlaybackByFile: ERROR: jFileInfo invalid!"
                           << "jFileInfo:" << JsonText(fileInfo);
        return 0;
    }
    const qn_record_file record = MakeRecordFile(fileInfo, 0);
    long handle = 0;
    if (Foundation::JsonFind(fileInfo, "AnalysisTask") != nullptr) {
        handle = PlaybackBySecondaryAnalyse(m_context, GetLoginHandle(), fileInfo, record, pos, data, reverse);
    } else {
        qn_playback_file_in in{};
        in.file = &record;
        in.window = nullptr;
        in.position_cb = &OnPosition;
        in.position_user = pos;
        in.data_cb = &OnData;
        in.data_user = data;
        in.reverse = reverse ? 1 : 0;
        in.wait_ms = kPlaybackWaitMs;
        qn_playback_out out{};
        handle = QUILLNET_CALL(m_context, CLIENT_PlayBackByRecordFileEx2, GetLoginHandle(), &in, &out);
    }
    if (handle == 0) {
        qDebug() << "CQuillnetDev::PlaybackByFile: ERROR: CLIENT_PlayBackByRecordFileEx2 errorCode:"
                 << LastError(m_context);
    }
    return handle;
}

long CQuillnetDev::PlaybackByTime(const Json::Value& fileInfo, DevicePosDelegate* pos, DeviceDataDelegate* data,
                                  bool reverse)
{
    if (!HasTimeKeys(fileInfo)) {
        qDebug().noquote() << "CQuillnetDev::PlaybackByTime: ERROR: jFileInfo invalid!"
                           << "jFileInfo:" << JsonText(fileInfo);
        return 0;
    }
    const qn_record_file record = MakeRecordFile(fileInfo, 0);
    int32_t stream = StreamNumber(Foundation::JsonStringOrEmpty(Foundation::JsonMember(fileInfo, "streamType")));
    QUILLNET_CALL(m_context, CLIENT_SetDeviceMode, GetLoginHandle(), QN_MODE_PLAYBACK_STREAM,
                  static_cast<void*>(&stream));
    long handle = 0;
    if (Foundation::JsonFind(fileInfo, "AnalysisTask") != nullptr) {
        handle = PlaybackBySecondaryAnalyse(m_context, GetLoginHandle(), fileInfo, record, pos, data, reverse);
    } else {
        qn_playback_time_in in{};
        in.start = record.start;
        in.end = record.end;
        in.window = nullptr;
        in.position_cb = &OnPosition;
        in.position_user = pos;
        in.data_cb = &OnData;
        in.data_user = data;
        in.reverse = reverse ? 1 : 0;
        in.wait_ms = kPlaybackWaitMs;
        qn_playback_out out{};
        handle = QUILLNET_CALL(m_context, CLIENT_PlayBackByTimeEx2, GetLoginHandle(), record.channel, &in, &out);
    }
    if (handle == 0) {
        qDebug() << "CQuillnetDev::PlaybackByTime: ERROR: CLIENT_PlayBackByTimeEx2 errorCode:"
                 << LastError(m_context);
    }
    return handle;
}

bool CQuillnetDev::StopPlayBack(long playHandle)
{
    return playHandle != 0 && QUILLNET_CALL(m_context, CLIENT_StopPlayBack, playHandle) != 0;
}

bool CQuillnetDev::PausePlayBack(long playHandle, bool pause)
{
    return playHandle != 0 && QUILLNET_CALL(m_context, CLIENT_PausePlayBack, playHandle, pause ? 1 : 0) != 0;
}

bool CQuillnetDev::SeekPlayBack(long playHandle, int offsetSeconds, int offsetBytes)
{
    return playHandle != 0 &&
           QUILLNET_CALL(m_context, CLIENT_SeekPlayBack, playHandle, offsetSeconds, offsetBytes) != 0;
}

bool CQuillnetDev::PlayBackControlDirection(long playHandle, int direction)
{
    return playHandle != 0 && QUILLNET_CALL(m_context, CLIENT_PlayBackControlDirection, playHandle, direction) != 0;
}

bool CQuillnetDev::SetPlayBackSpeed(long playHandle, int step)
{
    if (playHandle == 0 || step < kMinSpeedStep || step > kMaxSpeedStep) {
        return false;
    }
    return QUILLNET_CALL(m_context, CLIENT_SetPlayBackSpeed, playHandle, step) != 0;
}

// ---- downloads ----

long CQuillnetDev::DownloadByFile(const Json::Value& fileInfo, const char*, const char*, DevicePosDelegate* pos,
                                  DeviceDataDelegate* data)
{
    const Json::Value* type = Foundation::JsonFind(fileInfo, "recordFileType");
    const bool typeValid = type != nullptr && (type->type() == Json::intValue ||
                                               type->type() == Json::uintValue || type->isBool());
    if (!HasFileKeys(fileInfo) || !typeValid) {
        qDebug().noquote() << "CQuillnetDev::DownloadByFile: ERROR: jFileInfo invalid!"
                           << "jFileInfo:" << JsonText(fileInfo);
        return 0;
    }
    const qn_record_file record = MakeRecordFile(fileInfo, static_cast<uint8_t>(ToUInt32(*type)));
    if (record.type != kRecordTypeUnchecked) {
        qn_time start{};
        qn_time end{};
        const std::string startText = Foundation::JsonStringOrEmpty(Foundation::JsonMember(fileInfo, "startTime"));
        const std::string endText = Foundation::JsonStringOrEmpty(Foundation::JsonMember(fileInfo, "endTime"));
        if (!ReadTime(fileInfo, "startTime", start) || !ReadTime(fileInfo, "endTime", end) ||
            TimeTextDiffSecondsFmt(startText, endText) < 1) {
            return 0;
        }
    }
    const long handle = QUILLNET_CALL(m_context, CLIENT_DownloadByRecordFileEx2, GetLoginHandle(), &record, nullptr,
                                      &OnPosition, static_cast<void*>(pos), &OnData, static_cast<void*>(data),
                                      nullptr, 0);
    if (handle == 0) {
        qDebug() << "CQuillnetDev::DownloadByFile: ERROR: CLIENT_DownloadByRecordFileEx2 errorCode:"
                 << LastError(m_context);
    }
    qDebug() << "DownloadByFile " << record.path << " DataCallBack lRealHandle " << handle;
    return handle;
}

long CQuillnetDev::DownloadByTime(const Json::Value& channelInfo, const char* localPath, const char* saveName,
                                  const char* startTime, const char* endTime, DevicePosDelegate* pos,
                                  DeviceDataDelegate* data)
{
    const int channel = Foundation::JsonToInt(Foundation::JsonMember(channelInfo, "channel"));
    TOLVANE_INFO("Tolvane", "Tolvane::CQuillnetDev::DownloadByTime",
                 "param is " << "path " << TextOrEmpty(localPath) << " saveName " << TextOrEmpty(saveName)
                             << " startTime " << TextOrEmpty(startTime) << " endTime " << TextOrEmpty(endTime)
                             << " channel " << channel);
    DeviceTimeFields startFields{};
    DeviceTimeFields endFields{};
    ParseDeviceTimeText(startFields, startTime);
    ParseDeviceTimeText(endFields, endTime);
    const qn_time start{startFields.year, startFields.month,  startFields.day,
                        startFields.hour, startFields.minute, startFields.second};
    const qn_time end{endFields.year, endFields.month, endFields.day, endFields.hour, endFields.minute, endFields.second};
    return QUILLNET_CALL(m_context, CLIENT_DownloadByTimeEx, GetLoginHandle(), channel, 0, &start, &end, saveName,
                         &OnTimePosition, static_cast<void*>(pos), &OnData, static_cast<void*>(data), nullptr);
}

bool CQuillnetDev::StopDownload(long downloadHandle)
{
    return downloadHandle != 0 && QUILLNET_CALL(m_context, CLIENT_StopDownload, downloadHandle) != 0;
}

// The library writes into an empty temporary file beside the local file, which replaces
// the local file only when the download succeeded; a failure keeps what was there.
bool CQuillnetDev::DownloadRemoteFile(const char* remoteName, const char* localPath)
{
    const QString target = QString::fromLocal8Bit(TextOrEmpty(localPath));
    QTemporaryFile part(target + QStringLiteral(".XXXXXX"));
    if (target.isEmpty() || !part.open()) {
        return false;
    }
    part.close();
    const QByteArray partPath = part.fileName().toLocal8Bit();
    qn_remote_file_in in{};
    in.size = sizeof(in);
    in.remote = remoteName;
    in.local = partPath.constData();
    qn_remote_file_out out{};
    out.size = sizeof(out);
    const bool ok = QUILLNET_CALL(m_context, CLIENT_DownloadRemoteFile, GetLoginHandle(), &in, &out,
                                  kRemoteFileWaitMs) != 0;
    if (!ok) {
        qDebug() << "CLIENT_DownloadRemoteFile CLIENT_GetLastError " << LastError(m_context);
        return false;
    }
    if (std::rename(partPath.constData(), localPath) != 0) {
        return false;
    }
    part.setAutoRemove(false);
    return true;
}

// Piece by piece into a temporary file that replaces the local file only when all of it
// came. It ends when the pieces add up to the total; a call that fails or brings nothing
// before that fails the download.
bool CQuillnetDev::DownloadPieceFile(const char* remoteName, const char* localPath)
{
    QSaveFile file(QString::fromLocal8Bit(TextOrEmpty(localPath)));
    if (localPath == nullptr || *localPath == '\0' || !file.open(QIODevice::WriteOnly)) {
        return false;
    }
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kPieceSize]);
    if (!buffer) {
        file.cancelWriting();
        return false;
    }
    qn_piece_in in{};
    in.size = sizeof(in);
    const char* name = TextOrEmpty(remoteName);
    std::memcpy(in.name, name, std::min(std::strlen(name), sizeof(in.name) - 1));
    in.piece_length = kPieceSize;

    uint64_t received = 0;
    for (;;) {
        std::memset(buffer.get(), 0, kPieceSize);
        in.offset = static_cast<uint32_t>(received);
        qn_piece_out out{};
        out.size = sizeof(out);
        out.buffer = buffer.get();
        out.buffer_size = kPieceSize;
        if (QUILLNET_CALL(m_context, CLIENT_DownloadPieceFile, GetLoginHandle(), &in, &out, kPieceWaitMs) == 0) {
            qDebug() << "CLIENT_DownloadPieceFile CLIENT_GetLastError " << LastError(m_context);
            file.cancelWriting();
            return false;
        }
        const uint32_t length = std::min(out.returned_length, kPieceSize);
        if (file.write(buffer.get(), length) != static_cast<qint64>(length)) {
            file.cancelWriting();
            return false;
        }
        received += length;
        if (received >= out.total_length) {
            return file.commit();
        }
        if (length == 0) {
            qDebug() << "CLIENT_DownloadPieceFile: empty piece at" << received << "of" << out.total_length;
            file.cancelWriting();
            return false;
        }
    }
}

// ---- talk ----

bool CQuillnetDev::StartTalk(long)
{
    if (m_talkHandle.load() != 0) {
        StopTalk();
    }
    const long talk = QUILLNET_CALL(m_context, CLIENT_StartTalkEx, GetLoginHandle(), &CQuillnetDev::OnTalk,
                                    static_cast<void*>(this));
    if (talk == 0) {
        return false;
    }
    // A talk another caller opened meanwhile is closed, never leaked.
    const long other = m_talkHandle.exchange(talk);
    if (other != 0) {
        QUILLNET_CALL(m_context, CLIENT_StopTalkEx, other);
    }
    if (QUILLNET_CALL(m_context, CLIENT_RecordStart) != 0) {
        return true;
    }
    StopTalk();
    return false;
}

bool CQuillnetDev::StopTalk()
{
    const long talk = m_talkHandle.exchange(0);
    QUILLNET_CALL(m_context, CLIENT_RecordStop);
    QUILLNET_CALL(m_context, CLIENT_StopTalkEx, talk);
    return true;
}

void CQuillnetDev::OnTalk(long talk, const char* buffer, uint32_t size, int32_t flag, void* user)
{
    auto* device = static_cast<CQuillnetDev*>(user);
    if (device == nullptr || talk == 0 || talk != device->m_talkHandle.load()) {
        return;
    }
    if (flag == 1) {
        QUILLNET_CALL(device->m_context, CLIENT_AudioDec, buffer, size);
    } else if (flag == 0) {
        QUILLNET_CALL(device->m_context, CLIENT_TalkSendData, talk, buffer, size);
    }
}

// ---- key frames and the player key ----

bool CQuillnetDev::MakeKeyFrame(int channel, int subStream)
{
    return QUILLNET_CALL(m_context, CLIENT_MakeKeyFrame, GetLoginHandle(), channel, subStream) != 0;
}

bool CQuillnetDev::SetSecurityKey(long playPort, const char* key, int length)
{
    const int32_t result = Foundation::CallSdkFunction<std::remove_pointer_t<PLAY_SetSecurityKey_fn>>(
        m_context, kPlayModule, "PLAY_SetSecurityKey", static_cast<int32_t>(playPort), key, length);
    Foundation::CallSdkFunction<std::remove_pointer_t<PLAY_GetLastErrorEx_fn>>(m_context, kPlayModule,
                                                                               "PLAY_GetLastErrorEx");
    return result != 0;
}

}  // namespace Tolvane
