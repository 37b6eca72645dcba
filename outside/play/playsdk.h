/* Player library (libplay.so): ports fed with packet streams, decoded, paced and shown.
 *
 * A port is a number from 1 to PLAY_MAX_PORTS - 1. PLAY_GetFreePort hands ports out and never
 * hands out 0 or PLAY_FIXED_PORT; the fixed port can be opened directly without asking for it.
 * A released port answers 0 to everything. Results are 32-bit; non-zero means success.
 *
 * Callbacks run on the port's own thread. They may call back into the library. When a
 * callback setter, PLAY_Stop, PLAY_CloseStream or PLAY_ReleasePort returns, no call of the
 * removed callback (or of any callback of a stopped port) is running or will run.
 *
 * A window handle given to PLAY_Play or PLAY_SetDisplayRegion is a PLAY_VIDEO_SINK pointer;
 * the sink receives every shown picture as RGB32 on the port's thread.
 */
#ifndef OUTSIDE_PLAY_PLAYSDK_H
#define OUTSIDE_PLAY_PLAYSDK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PLAY_MAX_PORTS 256
#define PLAY_FIXED_PORT 90

/* Stream open modes (PLAY_SetStreamOpenMode). */
#define PLAY_STREAM_REALTIME 0
#define PLAY_STREAM_FILE 1

/* Buffer kinds (PLAY_GetBufferValue, PLAY_ResetBuffer). */
#define PLAY_BUF_VIDEO_PACKETS 1  /* video packets demultiplexed, not yet decoded */
#define PLAY_BUF_AUDIO_PACKETS 2  /* audio packets demultiplexed, not yet played */
#define PLAY_BUF_PICTURES 3       /* decoded pictures waiting to be shown */
#define PLAY_BUF_DEMUX 4          /* ResetBuffer only: everything between source and decoder */

/* Snapshot formats (PLAY_CatchPicEx). */
#define PLAY_PIC_BMP 0
#define PLAY_PIC_JPEG 1

/* Error codes (PLAY_GetLastErrorEx, per calling thread). */
#define PLAY_NOERROR 0
#define PLAY_ERR_PORT 1      /* no such port, or released */
#define PLAY_ERR_PARAM 2     /* bad argument */
#define PLAY_ERR_ORDER 3     /* call out of order (stream not open, already open) */
#define PLAY_ERR_FULL 4      /* source buffer full */
#define PLAY_ERR_FILE 5      /* a file could not be written */
#define PLAY_ERR_NOPICTURE 6 /* nothing shown yet */

/* Video sink: a window's receiver of RGB32 pictures (pixels 0xFFRRGGBB, stride in bytes).
   The picture is valid during the call only. */
typedef struct PLAY_VIDEO_SINK {
    void (*draw)(void *user, const uint8_t *rgb32, int32_t width, int32_t height, int32_t stride);
    void *user;
} PLAY_VIDEO_SINK;

typedef struct PLAY_RECT {
    int32_t left, top, right, bottom;
} PLAY_RECT;

/* A decoded picture: 8-bit planar 4:2:0, valid during the callback only. */
typedef struct FRAME_DECODE_INFO {
    uint8_t *plane[3];
    int32_t lineSize[3];
    int32_t width;  /* plane 0 */
    int32_t height;
} FRAME_DECODE_INFO;

/* The record of one shown frame. The first ten 32-bit words come first, then the frame's
   time as six 16-bit values. */
typedef struct FRAME_INFO_EX {
    int32_t type;          /* 0 video */
    uint32_t frameId;      /* unique per shown frame of a port, never 0 */
    int32_t frameCounter;  /* the frame's time in milliseconds modulo 65536 */
    int32_t width;
    int32_t height;
    int32_t frameRate;
    int32_t encodeType;    /* packet encoding of the stream */
    uint32_t sequence;     /* packet sequence number */
    int64_t timestampMs;   /* words 8-9: milliseconds since 1970 of the plain local time */
    uint16_t year, month, day, hour, minute, second;
    uint16_t millisecond;
    uint16_t reserved;
} FRAME_INFO_EX;

/* Description of one demultiplexed packet. */
typedef struct PLAY_DEMUX_INFO {
    int32_t type;        /* 1 video, 2 audio */
    int32_t keyFrame;
    int32_t encodeType;  /* packet encoding (11 SVAC) */
    int32_t width;
    int32_t height;
    uint32_t sequence;
    int32_t frameRate;   /* video */
    int32_t channels;    /* audio */
    int32_t sampleRate;  /* audio */
    int32_t reserved;
    int64_t timestampMs;
} PLAY_DEMUX_INFO;

/* The demux callback receives each complete packet, header included, exactly as fed. */
typedef void (*PLAY_DemuxCallBack)(int32_t port, const uint8_t *packet, int32_t length,
                                   const PLAY_DEMUX_INFO *info, void *reserved, void *user);
typedef void (*PLAY_VisibleDecodeCallBack)(int32_t port, const FRAME_DECODE_INFO *picture,
                                           const FRAME_INFO_EX *frame, void *user);
/* Raw data: each demultiplexed packet. */
typedef void (*PLAY_DataCallBack)(const uint8_t *data, int32_t length, void *user);
/* The picture size became known or changed; called before the first frame of that size. */
typedef void (*PLAY_EncTypeChangeCallBack)(int32_t port, void *user, int32_t width, int32_t height);
/* Kept for the interface; never called (the library draws no overlays of its own). */
typedef void (*PLAY_DisplayCallBack)(int32_t port, const FRAME_DECODE_INFO *picture, void *user);
typedef void (*PLAY_DrawFun)(int32_t port, void *drawContext, void *user);
/* Each picture as it is shown, before the visible-decode callback. */
typedef void (*PLAY_DecCallBack)(int32_t port, const FRAME_DECODE_INFO *picture, const FRAME_INFO_EX *frame);
/* Watermark: kind 1 text (flag 0), kinds 2 to 6 faults; the packet format carries none, so
   it is called only through PTEST_FireWaterMark. */
typedef int32_t (*PLAY_WaterMarkCallBack)(int32_t port, const char *buffer, int64_t timeValue,
                                          int32_t flag, int32_t unused, int32_t length,
                                          int32_t kind, void *user);

/* Port life */
int32_t PLAY_GetFreePort(int32_t *port);
int32_t PLAY_ReleasePort(int32_t port);
int32_t PLAY_SetStreamOpenMode(int32_t port, int32_t mode);
int32_t PLAY_OpenStream(int32_t port, const void *header, int32_t headerSize, int32_t bufferSize);
int32_t PLAY_CloseStream(int32_t port);
int32_t PLAY_SetEngine(int32_t port, int32_t a, int32_t b);
int32_t PLAY_EnableLargePicAdjustment(int32_t port, int32_t enable);
int32_t PLAY_SetSecurityKey(int32_t port, const char *key, int32_t length);

/* Play control */
int32_t PLAY_Play(int32_t port, void *window);
int32_t PLAY_Stop(int32_t port);
int32_t PLAY_Pause(int32_t port, int32_t pause);
int32_t PLAY_OneByOne(int32_t port);
int32_t PLAY_SetPlaySpeed(int32_t port, float speed);
int32_t PLAY_SetPlayDirection(int32_t port, int32_t reverse);

/* Data and buffers */
int32_t PLAY_InputData(int32_t port, const void *data, int32_t size);
int32_t PLAY_GetSourceBufferRemain(int32_t port);
int32_t PLAY_GetBufferValue(int32_t port, int32_t kind);
int32_t PLAY_ResetBuffer(int32_t port, int32_t kind);
int32_t PLAY_ResetSourceBuffer(int32_t port);
int32_t PLAY_Flush(int32_t port);

/* Callbacks: (port, null, null) removes. */
int32_t PLAY_SetDemuxCallBack(int32_t port, PLAY_DemuxCallBack cb, void *user);
int32_t PLAY_SetVisibleDecodeCallBack(int32_t port, PLAY_VisibleDecodeCallBack cb, void *user);
int32_t PLAY_SetDataCallBack(int32_t port, PLAY_DataCallBack cb, void *user);
int32_t PLAY_SetEncTypeChangeCallBackEx(int32_t port, PLAY_EncTypeChangeCallBack cb, void *user);
int32_t PLAY_SetDisplayCallBack(int32_t port, PLAY_DisplayCallBack cb, void *user);
int32_t PLAY_RigisterDrawFun(int32_t port, PLAY_DrawFun cb, void *user);
int32_t PLAY_SetDecCallBack(int32_t port, PLAY_DecCallBack cb);
int32_t PLAY_SetWaterMarkCallBackEx(int32_t port, PLAY_WaterMarkCallBack cb, void *user);

/* Display */
int32_t PLAY_SetDisplayRegion(int32_t port, int32_t region, const PLAY_RECT *rect, void *window, int32_t enable);
int32_t PLAY_SetColor(int32_t port, int32_t region, int32_t brightness, int32_t contrast, int32_t saturation, int32_t hue);
int32_t PLAY_ChooseFrame(int32_t port, int32_t value);
int32_t PLAY_GetPictureSize(int32_t port, int32_t *width, int32_t *height);
int32_t PLAY_SetPlayMethod(int32_t port, int32_t a, int32_t b, int32_t c, int32_t d);
int32_t PLAY_GetLastErrorEx(void);

/* Audio (counted; no sound device) */
int32_t PLAY_PlaySoundShare(int32_t port);
int32_t PLAY_StopSoundShare(int32_t port);
int32_t PLAY_ChooseAudio(int32_t port, int32_t channel, int32_t enable);
int32_t PLAY_AdjustWaveAudio(int32_t port, int32_t volume);

/* Pictures and recording */
int32_t PLAY_CatchPicEx(int32_t port, const char *path, int32_t type);
int32_t PLAY_StartDataRecord(int32_t port, const char *path, int32_t type);
int32_t PLAY_StopDataRecord(int32_t port);

/* Play groups: controls applied to every member port together. */
int32_t PLAY_OpenPlayGroup(void);
int32_t PLAY_AddToPlayGroup(int32_t group, int32_t port);
int32_t PLAY_DelFromPlayGroup(int32_t group, int32_t port);
int32_t PLAY_PausePlayGroup(int32_t group, int32_t pause);
int32_t PLAY_SetPlayGroupDirection(int32_t group, int32_t reverse);
int32_t PLAY_SetPlayGroupSpeed(int32_t group, float speed);
int32_t PLAY_StepPlayGroup(int32_t group);
int32_t PLAY_ClosePlayGroup(int32_t group);

/* Function types for callers that resolve the functions by name. */
typedef int32_t (*PLAY_GetFreePort_fn)(int32_t *);
typedef int32_t (*PLAY_Port_fn)(int32_t);                     /* ReleasePort, CloseStream, Stop, OneByOne, ... */
typedef int32_t (*PLAY_PortInt_fn)(int32_t, int32_t);         /* SetStreamOpenMode, Pause, ... */
typedef int32_t (*PLAY_PortInt2_fn)(int32_t, int32_t, int32_t);
typedef int32_t (*PLAY_PortInt4_fn)(int32_t, int32_t, int32_t, int32_t, int32_t);
typedef int32_t (*PLAY_PortInt5_fn)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t);
typedef int32_t (*PLAY_PortFloat_fn)(int32_t, float);
typedef int32_t (*PLAY_OpenStream_fn)(int32_t, const void *, int32_t, int32_t);
typedef int32_t (*PLAY_Play_fn)(int32_t, void *);
typedef int32_t (*PLAY_InputData_fn)(int32_t, const void *, int32_t);
typedef int32_t (*PLAY_SetSecurityKey_fn)(int32_t, const char *, int32_t);
typedef int32_t (*PLAY_SetDemuxCallBack_fn)(int32_t, PLAY_DemuxCallBack, void *);
typedef int32_t (*PLAY_SetVisibleDecodeCallBack_fn)(int32_t, PLAY_VisibleDecodeCallBack, void *);
typedef int32_t (*PLAY_SetDataCallBack_fn)(int32_t, PLAY_DataCallBack, void *);
typedef int32_t (*PLAY_SetEncTypeChangeCallBackEx_fn)(int32_t, PLAY_EncTypeChangeCallBack, void *);
typedef int32_t (*PLAY_SetDisplayCallBack_fn)(int32_t, PLAY_DisplayCallBack, void *);
typedef int32_t (*PLAY_RigisterDrawFun_fn)(int32_t, PLAY_DrawFun, void *);
typedef int32_t (*PLAY_SetDecCallBack_fn)(int32_t, PLAY_DecCallBack);
typedef int32_t (*PLAY_SetWaterMarkCallBackEx_fn)(int32_t, PLAY_WaterMarkCallBack, void *);
typedef int32_t (*PLAY_SetDisplayRegion_fn)(int32_t, int32_t, const PLAY_RECT *, void *, int32_t);
typedef int32_t (*PLAY_GetPictureSize_fn)(int32_t, int32_t *, int32_t *);
typedef int32_t (*PLAY_GetLastErrorEx_fn)(void);
typedef int32_t (*PLAY_PortPath_fn)(int32_t, const char *, int32_t); /* CatchPicEx, StartDataRecord */
typedef int32_t (*PLAY_OpenPlayGroup_fn)(void);
typedef int32_t (*PLAY_Group_fn)(int32_t);                    /* StepPlayGroup, ClosePlayGroup */
typedef int32_t (*PLAY_GroupInt_fn)(int32_t, int32_t);        /* Add/Del, Pause, Direction */
typedef int32_t (*PLAY_GroupFloat_fn)(int32_t, float);        /* SetPlayGroupSpeed */

/* Test controls (not part of the player interface). */
typedef struct PTEST_PORT_STATS {
    int64_t fedBytes;        /* accepted by PLAY_InputData */
    int64_t packetBytes;     /* bytes of whole packets demultiplexed */
    int64_t skippedBytes;    /* garbage skipped, and tails dropped at flush */
    int64_t videoPackets;
    int64_t audioPackets;
    int64_t shownFrames;
    int64_t decodeFailures;  /* video packets that gave no picture */
    int32_t soundShare;      /* 1 while the sound share plays */
    int32_t volume;          /* last PLAY_AdjustWaveAudio value */
    int32_t chosenAudio;     /* number of audio channels chosen */
    int32_t audioPlayed;     /* audio packets played through the sound share */
} PTEST_PORT_STATS;

/* Manual clock: time stands still until PTEST_AdvanceClock. Off by default. */
void PTEST_SetManualClock(int32_t manual);
void PTEST_AdvanceClock(int64_t ms);
/* Multiplies every port's speed (real clock only); 1 by default. */
void PTEST_SetClockRate(double rate);
/* Waits until the port's thread has done everything it can do now; 1 when settled. */
int32_t PTEST_WaitIdle(int32_t port, int32_t timeoutMs);
int32_t PTEST_GetPortStats(int32_t port, PTEST_PORT_STATS *stats);
/* Calls the port's watermark callback once on the calling thread. */
int32_t PTEST_FireWaterMark(int32_t port, const char *buffer, int32_t length, int32_t kind,
                            int32_t flag, int64_t timeValue);

#ifdef __cplusplus
}
#endif

#endif
