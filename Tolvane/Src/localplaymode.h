#pragma once
// The local file play mode: a player port opened in file mode and fed with a file from
// the local disk by one reader thread, as fast as the port's source buffer takes it. The
// reader ends once the player has consumed the whole file, or when the mode is closed.
//
// Threads: the reader feeds the port; callers pause, resume, step, set the speed and
// close from their own threads. Open and close are serialised by the life lock; the
// reader stops before the port it feeds is closed or released, so a port number is never
// fed after it went back to the library.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include <QMutex>

#include <foundation/Thread.h>

#include "playmode.h"

class QFile;

namespace Tolvane {

class CLocalPlayMode : public CPlayMode {
public:
    // Bytes handed to the player at a time.
    static constexpr int32_t kBlockSize = 153600;

    CLocalPlayMode(HostContext* context, void* windowHandle, bool hardwareDecoding);
    ~CLocalPlayMode() override;

    const char* GetModeID() override { return ModeId::LocalPlay; }
    bool Close() override;

    // Opens the file and a port for it and starts reading it; false, with no port, when the
    // file cannot be opened. A mode that plays another file closes that one first.
    bool PlayLocalFile(const char* path);
    bool Pause();
    bool Resume();
    bool Step();
    bool SetSpeed(float speed);
    // Bytes fed that the player has consumed.
    int64_t GetPlayedBytes();
    // The file's size once the reader opened it; 0 before.
    int64_t GetFileSize() const { return m_fileSize.load(); }
    float GetSpeed() const { return m_speed.load(); }

private:
    void ReadFileProc();
    // Asks the reader to end and waits for it.
    void StopReader();
    // Removes the callbacks, stops and releases the port; port 0 afterwards.
    void ClosePort();
    int64_t SourceRemain();

    std::recursive_mutex m_lifeLock;
    Foundation::CThread m_reader;
    std::atomic<int64_t> m_fileSize{0};
    std::atomic<float> m_speed{1.0f};
    QMutex m_feedLock{QMutex::Recursive};
    std::atomic<int64_t> m_fedBytes{0};
    std::atomic<int64_t> m_endSize{-1};
    std::string m_path;
    QFile* m_file = nullptr;  // opened by PlayLocalFile, handed to the reader, which closes it
};

}  // namespace Tolvane
