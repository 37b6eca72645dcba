#include "rkvrecordtranscoder.h"

#include <QDateTime>
#include <QFile>

#include "filehelpers.h"
#include "playlibrary.h"

namespace Tolvane {

namespace {

constexpr const char kSuffix[] = ".rkv";

}  // namespace

CRkvRecordTranscoder::CRkvRecordTranscoder(HostContext* context) : m_context(context) {}

CRkvRecordTranscoder::~CRkvRecordTranscoder()
{
    if (m_recording.load()) {
        Stop();
    }
    // A file left open by a stopped callback slot is still ours to close.
    std::lock_guard<std::mutex> lock(m_fileLock);
    m_file = CloseQFile(m_file);
    m_fileName.clear();
}

IRecordTranscoder* CRkvRecordTranscoder::Create(HostContext* context)
{
    return new CRkvRecordTranscoder(context);
}

bool CRkvRecordTranscoder::Open(const char* fileName, int32_t port)
{
    if (fileName == nullptr || fileName[0] == '\0') {
        return false;
    }
    QFile* file = OpenQFile(fileName, "wb");
    if (file == nullptr) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_fileLock);
        CloseQFile(m_file);
        m_file = file;
    }
    const bool ok = PLAY_CALL(m_context, PLAY_SetDemuxCallBack, port, &CRkvRecordTranscoder::OnDemuxData,
                              static_cast<void*>(this))
                    != 0;
    m_recording.store(ok);
    if (ok) {
        m_port = port;
        m_fileName = fileName;
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(m_fileLock);
        m_file = CloseQFile(m_file);
    }
    RemoveFile(fileName);
    return false;
}

bool CRkvRecordTranscoder::Stop()
{
    if (m_recording.load()) {
        // The player waits for a callback in flight; the lock below covers one that does not.
        PLAY_CALL(m_context, PLAY_SetDemuxCallBack, m_port, PLAY_DemuxCallBack(nullptr), nullptr);
        m_recording.store(false);
    }
    std::lock_guard<std::mutex> lock(m_fileLock);
    if (m_file == nullptr) {
        return true;
    }
    std::string finalName = m_fileName;
    const std::string::size_type at = finalName.rfind(kSuffix);
    if (at != std::string::npos) {
        const QByteArray stopTime = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmss")).toLatin1();
        finalName.insert(at, "-" + std::string(stopTime.constData(), size_t(stopTime.size())));
        RenameQFile(m_file, finalName.c_str());
    }
    m_file = CloseQFile(m_file);
    m_fileName.clear();
    return true;
}

void CRkvRecordTranscoder::OnDemuxData(int32_t /*port*/, const uint8_t* data, int32_t length,
                                       const PLAY_DEMUX_INFO* /*info*/, void* /*reserved*/, void* user)
{
    if (user != nullptr) {
        static_cast<CRkvRecordTranscoder*>(user)->Write(data, length);
    }
}

void CRkvRecordTranscoder::Write(const uint8_t* data, int32_t length)
{
    if (data == nullptr || length <= 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_fileLock);
    if (m_file != nullptr) {
        WriteQFile(m_file, reinterpret_cast<const char*>(data), length);
    }
}

}  // namespace Tolvane
