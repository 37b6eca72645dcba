#pragma once
// The player manager, registered with the host as "class Tolvane::IPlayerMgr": which play
// modes show in which video window. A window holds at most one mode per mode id; a mode may
// show in several windows. The manager owns every mode it holds and closes and deletes a
// mode when its last window lets go of it.
//
// Host signals it publishes:
//   "attachPlayModeSignal"     (int winID, IPlayMode*) after a mode joined a window, unlocked
//   "detachPlayModeSignal"     (int winID, IPlayMode*) as a mode leaves a window, under the
//                              manager's mutex, before the mode may be closed and deleted
//   "preClosingWndVideoSignal" (int winID) first thing when a window's video closes, unlocked

#include <map>
#include <string>
#include <vector>

#include <foundation/FastDelegate.h>

#include <tolvane/IPlayMode.h>

class QMutex;

namespace Tolvane {

class IDevice;

using PlayModeSignalHandler = fastdelegate::FastDelegate<void(int winID, IPlayMode* mode)>;
using PreClosingWndHandler = fastdelegate::FastDelegate<void(int winID)>;

class IPlayerMgr {
public:
    using WindowModes = std::map<std::string, IPlayMode*>;  // mode id -> mode
    using ModeMap = std::map<int, WindowModes>;             // window id -> its modes

    virtual ~IPlayerMgr() = default;
    // The manager takes the mode. Attaching a mode the window already holds answers true.
    virtual bool AttachPlayMode(int winID, IPlayMode* mode) = 0;
    // Detaches the given mode, or every mode of the window when all is set; false when the
    // window holds nothing.
    virtual bool DetachPlayMode(int winID, IPlayMode* mode, bool all) = 0;
    // The window's first open mode in mode-id order, or null.
    virtual IPlayMode* GetOpenPlayMode(int winID) = 0;
    // The window's modes, or null; walk them while holding GetMutex().
    virtual const WindowModes* GetWindowModes(int winID) = 0;
    virtual IPlayMode* GetPlayMode(int winID, const char* modeId) = 0;
    virtual std::vector<IPlayMode*> GetDeviceModes(IDevice* device) = 0;
    virtual std::vector<IPlayMode*> GetChannelModes(IDevice* device, int channel, const char* modeId) = 0;
    // streamType -1 matches any stream type.
    virtual IPlayMode* GetPlayMode(IDevice* device, int channel, int streamType, const char* modeId) = 0;
    // "preClosingWndVideoSignal", then every mode of the window is detached.
    virtual bool CloseWindow(int winID) = 0;
    // The recursive mutex that guards the map.
    virtual QMutex* GetMutex() = 0;
    virtual ModeMap GetModeMap() = 0;
};

}  // namespace Tolvane
