#pragma once
// Download strategies: one file or clip moved from the device to the local disk, its state
// reported through a handler. CDownloadNormal fetches a recording through the device's
// download stream, CDownloadByPlayback through its playback stream at the highest speed.
// Data in the device's own format is written as it arrives; other formats (by the local
// file's extension) are fed to the player library, whose data record writes the file.
//
// States: 0 idle, 2 downloading, 3 finished, 4 paused, 5 failed. 3 and 5 are final.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include <QString>

#include <json/value.h>

#include <foundation/FastDelegate.h>
#include <foundation/HostContext.h>

#include <tolvane/IDevice.h>

class QFile;

namespace Tolvane {

class IDownload {
public:
    enum State { StateIdle = 0, StateDownloading = 2, StateFinished = 3, StatePaused = 4, StateFailed = 5 };
    using StateHandler = fastdelegate::FastDelegate<void(IDownload* download, int state)>;

    IDownload(IDevice* device, const Json::Value& fileInfo, const std::string& folder, const std::string& fileName,
              bool byTime);
    virtual ~IDownload();
    IDownload(const IDownload&) = delete;
    IDownload& operator=(const IDownload&) = delete;

    virtual bool Start() = 0;
    virtual bool Stop() = 0;
    virtual bool Pause() = 0;
    virtual bool Resume() = 0;
    virtual double GetProgressPercent();
    virtual double GetDownloadedSize();
    virtual int GetState();
    virtual bool SetStateHandler(const StateHandler& handler);
    // Stores the state, then tells the handler.
    virtual void SetState(int state);

    // The player library's data-record type for the file name's extension; 0 = as received.
    static int RecordFormatOf(const std::string& fileName);
    int RecordFormat() const { return m_recordFormat; }

protected:
    StateHandler m_handler;
    std::atomic<int> m_state{StateIdle};
    std::atomic<double> m_progress{0.0};
    std::atomic<uint32_t> m_totalSize{0};
    std::atomic<uint32_t> m_downloadedSize{0};
    IDevice* m_device;
    Json::Value m_fileInfo;
    std::string m_folder;
    std::string m_fileName;
    bool m_byTime;
    std::atomic<int32_t> m_port{0};
    int m_recordFormat;
};

class CDownloadNormal : public IDownload {
public:
    CDownloadNormal(HostContext* context, IDevice* device, const Json::Value& fileInfo, const std::string& folder,
                    const std::string& fileName, bool byTime);
    ~CDownloadNormal() override;

    bool Start() override;
    bool Stop() override;
    bool Pause() override;
    bool Resume() override;

    virtual long StartDeviceTransfer(Json::Value& fileInfo);
    virtual bool StopDeviceTransfer();
    virtual bool OnData(const unsigned char* data, uint32_t size, uint32_t reserved, uint32_t dataType);
    virtual void OnPosition(uint32_t total, int32_t downloaded);

protected:
    // Stop's steps; also run by the destructors, where the transfer is stopped only while
    // a handle is held.
    bool Shutdown(bool onlyWithHandle);
    // False when buffered bytes could not be written.
    bool CloseOutput();
    // Removes the file written so far; the caller holds the output lock.
    void DiscardOutput();
    void DiscardLockedOutput();
    // One write of a block to the output file; -1 on failure.
    virtual qint64 WriteOutput(const char* data, qint64 size);
    void StartConverting(Json::Value& fileInfo);
    // Lets the player convert what it holds, then ends the record and gives the port back;
    // false when the player stalled with data left (the file is incomplete).
    bool FinishConversion();
    void ReleasePort();
    // Stops on a thread of its own after the player kept refusing data.
    void StopLater();

    std::atomic<long> m_handle{0};
    HostContext m_context;
    std::thread m_asyncStop;
    std::mutex m_asyncLock;
    DeviceDataDelegate m_dataSink;
    DevicePosDelegate m_positionSink;
    QFile* m_output = nullptr;
    QString m_outputPath;  // the file being written, once known
    std::mutex m_outputLock;  // the output file is written on the device's thread
    std::mutex m_stopLock;
    std::mutex m_portLock;  // the port is finished from the stop or from the device's end of data
};

class CDownloadByPlayback : public CDownloadNormal {
public:
    CDownloadByPlayback(HostContext* context, IDevice* device, const Json::Value& fileInfo,
                        const std::string& folder, const std::string& fileName, bool byTime);
    ~CDownloadByPlayback() override;

    long StartDeviceTransfer(Json::Value& fileInfo) override;
    bool StopDeviceTransfer() override;

    // The highest playback speed step the device accepts.
    static constexpr int kFastestStep = 6;
};

}  // namespace Tolvane
