#pragma once
// The video window module's interface, registered with the host under "class ISorquin".
//
// Video windows are widgets over the page's content widget, numbered from 0 row by row in
// the grid the page sets with the JSON method "setVideoWindowLayout". Each window owns a
// video sink (the window handle handed to the player library); what the sink or ShowFrame
// receives is copied and painted on the GUI thread. Every operation may be called from any
// thread unless its comment says otherwise.
//
// Host signals the module publishes, with the handler types to connect to them:
//   "frameDrawSignal"     SorquinFrameDrawHandler: (window id, frame id, QPainter*, QRect*),
//                         raised on the GUI thread from the paint event of a window that
//                         shows a picture, after the picture is drawn
//   "ViewNodeChange"      SorquinViewNodeHandler: (window id, 0 joined / 1 left the view)
//   "SwitchWndSignal"     SorquinSwitchWndHandler: (window id, 1) when a window is clicked
//   "DisConnectAllSignal" SorquinDisconnectAllHandler: the page's windows are all going away

#include <cstdint>
#include <string>

#include <json/json.h>

#include <foundation/FastDelegate.h>

#include "playsdk.h"

class QWidget;

// Why "ViewNodeChange" was raised.
enum __ViewListEvent {
    ViewNodeJoined = 0,
    ViewNodeLeft = 1,
};

using SorquinFrameDrawHandler = fastdelegate::FastDelegate4<long, long, void*, void*>;
using SorquinViewNodeHandler = fastdelegate::FastDelegate2<int, enum __ViewListEvent>;
using SorquinSwitchWndHandler = fastdelegate::FastDelegate2<int, int>;
using SorquinDisconnectAllHandler = fastdelegate::FastDelegate0<>;

// A window's video sink; GetWindowHandle answers a pointer to one.
using SorquinVideoSink = PLAY_VIDEO_SINK;

// Pixel format code of ShowFrame pictures: 32-bit 0xFFRRGGBB.
constexpr int32_t kSorquinFormatRgb32 = 7;

// What ShowFrame is told about its picture.
struct SorquinFrameInfo {
    int32_t width;
    int32_t height;
    int32_t format;     // kSorquinFormatRgb32 (0 is read as the same)
    int32_t frameRate;
    uint32_t frameId;   // the frame's identifier word, passed on by "frameDrawSignal"
};

class ISorquin {
public:
    virtual ~ISorquin() = default;

    // --- called by the client's main window (GUI thread) ---
    // The widget under the tool bar strip; kept, not drawn on.
    virtual void SetBackgroundWidget(QWidget* widget) = 0;
    // The widget that holds the page's view; video windows become its children.
    virtual void SetContentWidget(QWidget* widget) = 0;
    // The page is switched or the client closes: "DisConnectAllSignal", then every window
    // leaves the view and is removed.
    virtual void ReleaseWindows() = 0;
    // The main window moved by (dx, dy).
    virtual void MoveWindows(int dx, int dy) = 0;
    // The page's view was activated, or the main window's state changed: the video
    // windows are put back above the view.
    virtual void ViewActivated() = 0;
    virtual void WindowStateChanged() = 0;

    // --- called by the play modes and services ---
    // True while the window exists in the page's grid.
    virtual bool IsWindowValid(int winID) = 0;
    // The window's video sink (a SorquinVideoSink*), or null for an unknown window. A sink
    // stays valid while this object lives, also after its window is removed; it then drops
    // what it receives.
    virtual void* GetWindowHandle(int winID) = 0;
    // Shows an RGB32 picture of info->width x info->height pixels (stride width x 4) in the
    // window; a null picture clears the window. False for an unknown window, a missing
    // description or a buffer smaller than the picture.
    virtual bool ShowFrame(int winID, const unsigned char* rgb32, long size, int count,
                           const SorquinFrameInfo* info) = 0;
    // Whether the window shows video; false also clears its picture.
    virtual void SetVideoState(int winID, bool showsVideo) = 0;
    // Whether the window draws overlays (its paint event raises "frameDrawSignal" either way).
    virtual void SetOverlayState(int winID, bool drawsOverlays) = 0;
    // Writes the window's last picture to element["fileName"] in element["format"] ("jpg",
    // "jpeg", "bmp" or "png"; "jpg" when absent) at element["quality"] (0-100, default 100).
    virtual bool SaveSnapshot(int winID, Json::Value element) = 0;
    // The window's last picture as "data:image/png;base64,..."; empty when it has none.
    virtual std::string GetSnapshotData(int winID) = 0;
    // The window's widget, or null. Use it on the GUI thread only.
    virtual QWidget* GetWindowWidget(int winID) = 0;
};
