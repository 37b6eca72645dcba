#pragma once
// The player manager service: files play modes by window and mode id, owns them, and
// announces attach, detach and pre-closing through three host signals. A window that leaves
// the page's view ("ViewNodeChange" event 1) has its video closed.
//
// Lock: one recursive mutex over the map. The detach signal's handlers run under it and may
// call the manager again on the same thread; attach and pre-closing run without it.
//
// The modes it owns stop their device streams when they close, at the latest in the
// destructor: the manager holds the device manager, and so the device, until then.

#include <QMutex>

#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>
#include <foundation/Signal.h>

#include <tolvane/IDeviceMgr.h>
#include <tolvane/IPlayerMgr.h>

#include <ISorquin.h>

namespace Tolvane {

class CPlayerMgr final : public IPlayerMgr {
public:
    using PlayModeSignal = Foundation::CSignal2<int, IPlayMode*, Foundation::CNolockPolicy>;
    using PreClosingSignal = Foundation::CSignal1<int, Foundation::CNolockPolicy>;

    CPlayerMgr(HostContext* context, const char* moduleWord);
    ~CPlayerMgr() override;
    CPlayerMgr(const CPlayerMgr&) = delete;
    CPlayerMgr& operator=(const CPlayerMgr&) = delete;

    // Creates the service and registers it as "class Tolvane::IPlayerMgr".
    static void CreateSvrObject(HostContext* context, const char* argument);

    bool AttachPlayMode(int winID, IPlayMode* mode) override;
    bool DetachPlayMode(int winID, IPlayMode* mode, bool all) override;
    IPlayMode* GetOpenPlayMode(int winID) override;
    const WindowModes* GetWindowModes(int winID) override;
    IPlayMode* GetPlayMode(int winID, const char* modeId) override;
    std::vector<IPlayMode*> GetDeviceModes(IDevice* device) override;
    std::vector<IPlayMode*> GetChannelModes(IDevice* device, int channel, const char* modeId) override;
    IPlayMode* GetPlayMode(IDevice* device, int channel, int streamType, const char* modeId) override;
    bool CloseWindow(int winID) override;
    QMutex* GetMutex() override { return &m_mutex; }
    ModeMap GetModeMap() override;

private:
    void OnImplComLoaded();
    void OnImplComPreRelease();
    void OnViewNodeChange(int winID, enum __ViewListEvent event);
    // The detach walk of DetachPlayMode; under the mutex.
    void DetachLocked(WindowModes& modes, int winID, IPlayMode* mode, bool all);

    QMutex m_mutex{QMutex::Recursive};
    ModeMap m_map;
    HostContext* m_context;
    PlayModeSignal m_attachSignal;
    PlayModeSignal m_detachSignal;
    PreClosingSignal m_preClosingSignal;
    Foundation::CSharedPtr<IDeviceMgr> m_deviceMgr;  // keeps the modes' device alive
};

}  // namespace Tolvane
