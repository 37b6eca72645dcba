// Live stream, remote playback, downloads, talk, key frames and the player key of the
// device object. Not served by this build: every operation answers failure and nothing
// reaches the device library.

#include "quillnetdev.h"

namespace Tolvane {

long CQuillnetDev::ConnectRealvideo(int, int, int, DeviceDataDelegate*)
{
    return 0;
}

bool CQuillnetDev::StopRealvideo(long)
{
    return false;
}

long CQuillnetDev::GetStatiscFlux(long)
{
    return 0;
}

long CQuillnetDev::Playback(const Json::Value& fileInfo, DevicePosDelegate* pos, DeviceDataDelegate* data,
                            bool byTime, bool reverse)
{
    return byTime ? PlaybackByTime(fileInfo, pos, data, reverse) : PlaybackByFile(fileInfo, pos, data, reverse);
}

long CQuillnetDev::PlaybackByFile(const Json::Value&, DevicePosDelegate*, DeviceDataDelegate*, bool)
{
    return 0;
}

long CQuillnetDev::PlaybackByTime(const Json::Value&, DevicePosDelegate*, DeviceDataDelegate*, bool)
{
    return 0;
}

bool CQuillnetDev::StopPlayBack(long)
{
    return false;
}

bool CQuillnetDev::SetPlayBackSpeed(long, int)
{
    return false;
}

long CQuillnetDev::DownloadByFile(const Json::Value&, const char*, const char*, DevicePosDelegate*,
                                  DeviceDataDelegate*)
{
    return 0;
}

long CQuillnetDev::DownloadByTime(const Json::Value&, const char*, const char*, const char*, const char*,
                                  DevicePosDelegate*, DeviceDataDelegate*)
{
    return 0;
}

bool CQuillnetDev::StopDownload(long)
{
    return false;
}

bool CQuillnetDev::PausePlayBack(long, bool)
{
    return false;
}

bool CQuillnetDev::SeekPlayBack(long, int, int)
{
    return false;
}

bool CQuillnetDev::PlayBackControlDirection(long, int)
{
    return false;
}

bool CQuillnetDev::StartTalk(long)
{
    return false;
}

bool CQuillnetDev::StopTalk()
{
    m_talkHandle.store(0);
    return true;
}

bool CQuillnetDev::MakeKeyFrame(int, int)
{
    return false;
}

bool CQuillnetDev::DownloadRemoteFile(const char*, const char*)
{
    return false;
}

bool CQuillnetDev::DownloadPieceFile(const char*, const char*)
{
    return false;
}

bool CQuillnetDev::SetSecurityKey(long, const char*, int)
{
    return false;
}

}  // namespace Tolvane
