#pragma once
// The "rkv" record transcoder: takes over the port's demultiplexing callback and appends
// every packet the player hands to it, unchanged, to the file. The stop time is put into
// the file's name when it stops.
//
// Threads: the callback runs on the player's port thread; Open, Stop and the destructor on
// the recording service's threads. The file pointer is guarded by its own lock, so a
// callback still running while Stop closes the file never writes to a freed file.

#include <atomic>
#include <mutex>
#include <string>

#include <foundation/HostContext.h>

#include <play/playsdk.h>

#include "recordtranscoder.h"

class QFile;

namespace Tolvane {

class CRkvRecordTranscoder final : public IRecordTranscoder {
public:
    static constexpr const char kType[] = "rkv";

    explicit CRkvRecordTranscoder(HostContext* context);
    ~CRkvRecordTranscoder() override;
    CRkvRecordTranscoder(const CRkvRecordTranscoder&) = delete;
    CRkvRecordTranscoder& operator=(const CRkvRecordTranscoder&) = delete;

    // The registry's factory for "rkv".
    static IRecordTranscoder* Create(HostContext* context);

    bool Open(const char* fileName, int32_t port) override;
    bool Stop() override;
    bool IsRecording() override { return m_recording.load(); }
    bool SetOption(int32_t, int32_t) override { return true; }
    const char* GetType() override { return kType; }

    // The player's demultiplexing callback; the user value is the transcoder.
    static void OnDemuxData(int32_t port, const uint8_t* data, int32_t length, const PLAY_DEMUX_INFO* info,
                            void* reserved, void* user);

private:
    void Write(const uint8_t* data, int32_t length);

    HostContext* m_context;
    int32_t m_port = -1;
    std::atomic<bool> m_recording{false};
    std::mutex m_fileLock;
    QFile* m_file = nullptr;  // owned; guarded by m_fileLock
    std::string m_fileName;
};

}  // namespace Tolvane
