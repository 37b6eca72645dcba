#pragma once
// The audio output service: which video window plays its sound, which audio track at
// which volume, and the two-way talk with the device. Sound settings are remembered per
// window and applied again when a mode joins the window or the window is switched to.
// One window plays sound at a time.
//
// Locks, in this order only: the player manager's recursive mutex (modes are used under
// it), then the settings lock over the settings map and the sound window. The talk lock
// is a leaf of its own.

#include <map>
#include <mutex>
#include <vector>

#include <foundation/ComMethod.h>
#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>

#include <tolvane/IDeviceMgr.h>
#include <tolvane/IPlayerMgr.h>

#include <ISorquin.h>

class QMutex;

namespace Tolvane {

class CAudiOutputCtrl {
public:
    struct AudioSettings {
        int audioMode = 0;  // -2 off, -1 every track, 0-255 that track
        int volume = 0;
        bool enabled = false;
    };

    CAudiOutputCtrl(HostContext* context, const char* argument);
    ~CAudiOutputCtrl();
    CAudiOutputCtrl(const CAudiOutputCtrl&) = delete;
    CAudiOutputCtrl& operator=(const CAudiOutputCtrl&) = delete;

    // Creates the service and registers it as "class Tolvane::CAudiOutputCtrl".
    static void CreateSvrObject(HostContext* context, const char* argument);

    // Published methods.
    bool SetDeviceMode(int mode, int format);
    // 1 starts the talk, 0 stops it.
    bool ControlTalking(int flag);
    // The window becomes the sound window; the previous one is silenced.
    bool setAudioParam(int winID, int audioMode, bool enable);
    bool setAudioVolume(int winID, int volume);
    int getAudioVolume(int winID);

    void OnImplLoaded();
    void OnImplPreRelease();
    void OnViewNodeChange(int winID, enum __ViewListEvent event);
    void OnAttachPlayMode(int winID, IPlayMode* mode);
    void OnSwitchWnd(int winID, int value);
    // "deviceLoginoutSignal": a talk of the session that ends is stopped.
    void OnDeviceLoginout(long loginId);

    // The window's remembered settings; false when it has none.
    bool GetSettings(int winID, AudioSettings* settings);
    int GetSoundWindow();

private:
    // Applies the stored settings of the window (if any) with the given enable flag, or
    // the stored one.
    void Reapply(int winID, const bool* enable);
    QMutex* ManagerMutex();
    void Publish(const char* name, Foundation::IComInterface* method);

    HostContext* m_context;
    std::mutex m_talkLock;
    bool m_talking = false;
    Foundation::CSharedPtr<IPlayerMgr> m_playerMgr;
    Foundation::CSharedPtr<IDeviceMgr> m_deviceMgr;
    std::recursive_mutex m_settingsLock;
    std::map<int, AudioSettings> m_settings;
    int m_soundWindow = -1;
    std::vector<Foundation::IComInterface*> m_methods;  // published, owned
};

}  // namespace Tolvane
