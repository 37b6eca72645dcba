/* Quillnet device SDK: the functions, records and callback types of libQuillnet.so.
 *
 * Handles are qn_handle values; 0 means none or failure. Functions answering "ok" return
 * non-zero on success; the reason of a failure is read with CLIENT_GetLastError on the same
 * thread. Records that start with a size word carry their own size in bytes.
 *
 * Callbacks run on the SDK's own threads and may call back into the SDK. Once a stop, detach
 * or logout call returns, no callback for that handle is running or will run; a callback
 * replaced by a new Set call is no longer called once that call returns.
 *
 * Playback and download data callbacks answer 0 when they did not take the block; the SDK
 * delivers the same block again a little later. The position callback reports (total, -1)
 * at the end of a playback or download and (total, -2) when it failed.
 *
 * The QNSIM_ functions at the end drive the simulated device in tests.
 */
#ifndef OUTSIDE_QUILLNET_QUILLNET_H
#define OUTSIDE_QUILLNET_QUILLNET_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QN_API __attribute__((visibility("default")))

typedef long qn_handle;

/* ---- error codes (CLIENT_GetLastError) ---- */
enum {
    QN_OK = 0,
    QN_ERR_NOT_INITIALISED = 1,
    QN_ERR_INVALID_HANDLE = 2,
    QN_ERR_INVALID_ARGUMENT = 3,
    QN_ERR_NO_DEVICE = 4,
    QN_ERR_LOGIN = 5,
    QN_ERR_NO_CHANNEL = 6,
    QN_ERR_NO_RECORD = 7,
    QN_ERR_NO_FILE = 8,
    QN_ERR_IO = 9,
    QN_ERR_BUFFER_TOO_SMALL = 10,
    QN_ERR_BAD_REQUEST = 11,
    QN_ERR_SCRIPTED = 12
};

/* ---- login error word of CLIENT_LoginEx2 ---- */
enum {
    QN_LOGIN_BAD_PASSWORD = 1,   /* device info lock_left: attempts left before the lock */
    QN_LOGIN_NO_USER = 2,
    QN_LOGIN_TIMEOUT = 3,
    QN_LOGIN_IN_USE = 4,
    QN_LOGIN_LOCKED = 5,         /* device info locked_seconds: time left of the lock */
    QN_LOGIN_BLACKLISTED = 6,
    QN_LOGIN_BUSY = 7,
    QN_LOGIN_UNREACHABLE = 8
};

/* ---- records ---- */
typedef struct qn_time {
    int32_t year, month, day, hour, minute, second;
} qn_time;

typedef struct qn_network_param {
    int32_t reserved0;
    int32_t connect_timeout_ms;      /* 3000 */
    int32_t connect_tries;           /* 2 */
    int32_t subconnect_spacing_ms;
    int32_t reserved16;
    int32_t output_buffer_size;      /* 0x200000 */
    int32_t info_timeout_ms;         /* 5000 */
    int32_t search_timeout_ms;       /* 8000 */
    int32_t subconnect_timeout_ms;
    uint8_t detect_mode;
    uint8_t picture_buffers;         /* 32 */
    uint8_t reserved38[10];
} qn_network_param;

typedef struct qn_log_open {
    int32_t size;                    /* sizeof(qn_log_open) */
    char file[260];
    int32_t max_size_kb;
    int32_t file_count;
    int32_t level;
    int32_t reserved276[2];
    int32_t print_enabled;           /* 1 */
    int32_t reserved288;
} qn_log_open;

typedef struct qn_device_info {
    char serial[48];
    uint8_t alarm_inputs;
    uint8_t alarm_outputs;
    uint8_t disks;
    uint8_t device_type;
    uint8_t channels;
    uint8_t reserved53[16];
    uint8_t lock_left;               /* with QN_LOGIN_BAD_PASSWORD */
    uint8_t reserved70[2];
    int32_t locked_seconds;          /* with QN_LOGIN_LOCKED */
    int32_t reserved76[6];
} qn_device_info;

/* CLIENT_QuerySystemInfo type QN_SYSINFO_ABILITY */
#define QN_SYSINFO_ABILITY 26
typedef struct qn_ability_info {
    int32_t size;
    char reserved4[256];
    int32_t secondary_analyse;
    char reserved264[1784];
} qn_ability_info;

typedef struct qn_record_file {
    int32_t channel;
    char path[124];
    uint32_t length;
    qn_time start;
    qn_time end;
    int32_t disk;
    int32_t cluster;
    uint8_t type;                    /* 0 video */
    uint8_t reserved193[3];
} qn_record_file;

/* ---- callbacks ---- */
typedef void (*qn_disconnect_cb)(qn_handle login, const char *ip, int port, void *user);
typedef void (*qn_reconnect_cb)(qn_handle login, const char *ip, int port, void *user);
typedef int (*qn_message_cb)(int command, qn_handle login, const char *buffer, uint32_t length,
                             const char *ip, int port, void *user);
typedef void (*qn_subconnect_cb)(int kind, qn_handle login, qn_handle sub, int status, void *user);
/* live data: the SDK ignores the answer */
typedef void (*qn_real_data_cb)(qn_handle real, uint32_t data_type, const uint8_t *buffer,
                                uint32_t size, void *user);
/* playback and download data: 0 = not taken, deliver again */
typedef int (*qn_data_cb)(qn_handle handle, uint32_t data_type, const uint8_t *buffer,
                          uint32_t size, void *user);
typedef void (*qn_position_cb)(qn_handle handle, uint32_t total, int32_t done, void *user);
typedef void (*qn_time_position_cb)(qn_handle handle, uint32_t total, int32_t done, int32_t index,
                                    qn_record_file record, void *user);
/* talk: flag 1 = audio from the device, 0 = local capture to send */
typedef void (*qn_talk_cb)(qn_handle talk, const char *buffer, uint32_t size, int32_t flag,
                           void *user);
typedef void (*qn_config_cb)(qn_handle attach, const char *name, const char *json, void *user);

typedef struct qn_transmit_data {
    const char *data;                /* the JSON text, then binary_length more bytes */
    int32_t status;
    uint32_t text_length;
    uint32_t binary_length;
} qn_transmit_data;
typedef int (*qn_transmit_cb)(qn_handle attach, const qn_transmit_data *data, void *user);
typedef void (*qn_vk_cb)(qn_handle attach, int32_t kind, uint32_t length, const uint8_t *data,
                         void *user);

/* ---- records built around callbacks ---- */
typedef struct qn_playback_file_in {
    const qn_record_file *file;
    void *window;
    qn_position_cb position_cb;
    void *position_user;
    qn_data_cb data_cb;
    void *data_user;
    int32_t reverse;
    int32_t wait_ms;                 /* 10000 */
    uint8_t reserved[1024];
} qn_playback_file_in;

typedef struct qn_playback_time_in {
    qn_time start;
    qn_time end;
    void *window;
    qn_position_cb position_cb;
    void *position_user;
    qn_data_cb data_cb;
    void *data_user;
    int32_t reverse;
    int32_t wait_ms;
    uint8_t reserved[1024];
} qn_playback_time_in;

typedef struct qn_playback_out {
    uint8_t reserved[1024];
} qn_playback_out;

typedef struct qn_analyse_playback_in {
    uint32_t size;
    int32_t channel;
    qn_time start;
    qn_time end;
    int32_t reserved56;
    qn_position_cb position_cb;
    void *position_user;
    qn_data_cb data_cb;
    void *data_user;
    int32_t reverse;
    int32_t task;
} qn_analyse_playback_in;

typedef struct qn_analyse_playback_out {
    uint32_t size;
} qn_analyse_playback_out;

/* CLIENT_SetDeviceMode: QN_MODE_PLAYBACK_STREAM takes a pointer to an int32 stream number
   (0 any, 1 main, 2-4 extra streams 1-3) for the next playback by time. */
#define QN_MODE_PLAYBACK_STREAM 6

typedef struct qn_remote_file_in {
    uint32_t size;
    const char *remote;
    const char *local;
} qn_remote_file_in;

typedef struct qn_remote_file_out {
    uint32_t size;
    uint32_t reserved[4];
} qn_remote_file_out;

typedef struct qn_piece_in {
    uint32_t size;
    char name[260];
    uint32_t offset;
    uint32_t piece_length;
} qn_piece_in;

typedef struct qn_piece_out {
    uint32_t size;
    uint32_t total_length;
    uint32_t returned_length;
    char *buffer;
    uint32_t buffer_size;
} qn_piece_out;

typedef struct qn_config_attach_in {
    uint32_t size;
    const char *name;
    qn_config_cb callback;
    void *user;
} qn_config_attach_in;

typedef struct qn_config_attach_out {
    uint32_t size;
} qn_config_attach_out;

typedef struct qn_transmit_in {
    uint32_t size;
    int32_t kind;                    /* 1 */
    const char *request;
    uint32_t request_length;
    int32_t reserved[2];
} qn_transmit_in;

typedef struct qn_transmit_attach_in {
    uint32_t size;
    qn_transmit_cb callback;
    void *user;
    const char *request;
    uint32_t request_length;
} qn_transmit_attach_in;

typedef struct qn_transmit_detach_in {
    uint32_t size;
    const char *request;
    uint32_t request_length;
} qn_transmit_detach_in;

/* Answer: a NUL-terminated JSON text in buffer; answer_length excludes the NUL. */
typedef struct qn_transmit_out {
    uint32_t size;
    char *buffer;
    uint32_t buffer_size;
    uint32_t answer_length;
    uint32_t reserved;
} qn_transmit_out;

typedef struct qn_vk_in {
    uint32_t size;
    int32_t channel;
    qn_vk_cb callback;
    void *user;
} qn_vk_in;

typedef struct qn_vk_out {
    uint32_t size;
    uint8_t data[1540];              /* 16 bytes at data[0], 32 bytes at data[128] */
} qn_vk_out;

/* ---- SDK functions ---- */
QN_API int CLIENT_Init(qn_disconnect_cb callback, void *user);
QN_API void CLIENT_Cleanup(void);
QN_API uint32_t CLIENT_GetLastError(void);
QN_API void CLIENT_SetGDPREnable(int enable);
QN_API void CLIENT_SetNetworkParam(const qn_network_param *param);
QN_API void CLIENT_SetAutoReconnect(qn_reconnect_cb callback, void *user);
QN_API void CLIENT_SetDVRMessCallBack(qn_message_cb callback, void *user);
QN_API void CLIENT_SetSubconnCallBack(qn_subconnect_cb callback, void *user);
QN_API int CLIENT_LogOpen(const qn_log_open *param);

QN_API qn_handle CLIENT_LoginEx2(const char *ip, uint16_t port, const char *user,
                                 const char *password, int capability_type, void *capability_param,
                                 qn_device_info *info, int *error);
QN_API int CLIENT_Logout(qn_handle login);
QN_API int CLIENT_QuerySystemInfo(qn_handle login, int type, char *buffer, int buffer_size,
                                  int *returned);

QN_API qn_handle CLIENT_RealPlayEx(qn_handle login, int channel, void *window, int stream_type);
QN_API int CLIENT_SetRealDataCallBack(qn_handle real, qn_real_data_cb callback, void *user);
QN_API int CLIENT_StopRealPlay(qn_handle real);
QN_API long CLIENT_GetStatiscFlux(qn_handle login, qn_handle real);
QN_API int CLIENT_MakeKeyFrame(qn_handle login, int channel, int sub_stream);

QN_API qn_handle CLIENT_PlayBackByRecordFileEx2(qn_handle login, const qn_playback_file_in *in,
                                                qn_playback_out *out);
QN_API qn_handle CLIENT_PlayBackByTimeEx2(qn_handle login, int channel,
                                          const qn_playback_time_in *in, qn_playback_out *out);
QN_API qn_handle CLIENT_PlayBackBySecondaryAnalyse(qn_handle login, const qn_analyse_playback_in *in,
                                                   qn_analyse_playback_out *out, int wait_ms);
QN_API int CLIENT_SetDeviceMode(qn_handle login, int mode, void *value);
QN_API int CLIENT_StopPlayBack(qn_handle playback);
QN_API int CLIENT_PausePlayBack(qn_handle playback, int pause);
/* seconds from the start of the played span; a negative value seeks by byte offset instead */
QN_API int CLIENT_SeekPlayBack(qn_handle playback, int offset_seconds, int offset_bytes);
/* 0 forward, 1 reverse */
QN_API int CLIENT_PlayBackControlDirection(qn_handle playback, int direction);
/* step -4..6: speed 2^step */
QN_API int CLIENT_SetPlayBackSpeed(qn_handle playback, int step);

QN_API qn_handle CLIENT_DownloadByRecordFileEx2(qn_handle login, const qn_record_file *file,
                                                const char *save_file, qn_position_cb position_cb,
                                                void *position_user, qn_data_cb data_cb,
                                                void *data_user, void *reserved, int flags);
QN_API qn_handle CLIENT_DownloadByTimeEx(qn_handle login, int channel, int record_type,
                                         const qn_time *start, const qn_time *end,
                                         const char *save_file, qn_time_position_cb position_cb,
                                         void *position_user, qn_data_cb data_cb, void *data_user,
                                         void *reserved);
QN_API int CLIENT_StopDownload(qn_handle download);
QN_API int CLIENT_DownloadRemoteFile(qn_handle login, const qn_remote_file_in *in,
                                     qn_remote_file_out *out, int wait_ms);
QN_API int CLIENT_DownloadPieceFile(qn_handle login, const qn_piece_in *in, qn_piece_out *out,
                                    int wait_ms);

QN_API qn_handle CLIENT_StartTalkEx(qn_handle login, qn_talk_cb callback, void *user);
QN_API int CLIENT_StopTalkEx(qn_handle talk);
QN_API int CLIENT_RecordStart(void);
QN_API int CLIENT_RecordStop(void);
QN_API void CLIENT_AudioDec(const char *buffer, uint32_t size);
QN_API long CLIENT_TalkSendData(qn_handle talk, const char *buffer, uint32_t size);

QN_API qn_handle CLIENT_AttachConfigChange(qn_handle login, const qn_config_attach_in *in,
                                           qn_config_attach_out *out, int wait_ms);
QN_API int CLIENT_DetachConfigChange(qn_handle attach);
QN_API int CLIENT_TransmitInfoForWebEx(qn_handle login, const qn_transmit_in *in,
                                       qn_transmit_out *out, int wait_ms);
QN_API qn_handle CLIENT_AttachTransmitInfo(qn_handle login, const qn_transmit_attach_in *in,
                                           qn_transmit_out *out, int wait_ms);
QN_API int CLIENT_DetachTransmitInfo(qn_handle attach, const qn_transmit_detach_in *in,
                                     qn_transmit_out *out, int wait_ms);
QN_API qn_handle CLIENT_AttachVK(qn_handle login, const qn_vk_in *in, qn_vk_out *out, int wait_ms);
QN_API int CLIENT_DetachVK(qn_handle attach);

/* ---- function-pointer types, for callers that resolve the functions by name ---- */
typedef int (*CLIENT_Init_fn)(qn_disconnect_cb, void *);
typedef void (*CLIENT_Cleanup_fn)(void);
typedef uint32_t (*CLIENT_GetLastError_fn)(void);
typedef void (*CLIENT_SetGDPREnable_fn)(int);
typedef void (*CLIENT_SetNetworkParam_fn)(const qn_network_param *);
typedef void (*CLIENT_SetAutoReconnect_fn)(qn_reconnect_cb, void *);
typedef void (*CLIENT_SetDVRMessCallBack_fn)(qn_message_cb, void *);
typedef void (*CLIENT_SetSubconnCallBack_fn)(qn_subconnect_cb, void *);
typedef int (*CLIENT_LogOpen_fn)(const qn_log_open *);
typedef qn_handle (*CLIENT_LoginEx2_fn)(const char *, uint16_t, const char *, const char *, int,
                                        void *, qn_device_info *, int *);
typedef int (*CLIENT_Logout_fn)(qn_handle);
typedef int (*CLIENT_QuerySystemInfo_fn)(qn_handle, int, char *, int, int *);
typedef qn_handle (*CLIENT_RealPlayEx_fn)(qn_handle, int, void *, int);
typedef int (*CLIENT_SetRealDataCallBack_fn)(qn_handle, qn_real_data_cb, void *);
typedef int (*CLIENT_StopRealPlay_fn)(qn_handle);
typedef long (*CLIENT_GetStatiscFlux_fn)(qn_handle, qn_handle);
typedef int (*CLIENT_MakeKeyFrame_fn)(qn_handle, int, int);
typedef qn_handle (*CLIENT_PlayBackByRecordFileEx2_fn)(qn_handle, const qn_playback_file_in *,
                                                       qn_playback_out *);
typedef qn_handle (*CLIENT_PlayBackByTimeEx2_fn)(qn_handle, int, const qn_playback_time_in *,
                                                 qn_playback_out *);
typedef qn_handle (*CLIENT_PlayBackBySecondaryAnalyse_fn)(qn_handle, const qn_analyse_playback_in *,
                                                          qn_analyse_playback_out *, int);
typedef int (*CLIENT_SetDeviceMode_fn)(qn_handle, int, void *);
typedef int (*CLIENT_StopPlayBack_fn)(qn_handle);
typedef int (*CLIENT_PausePlayBack_fn)(qn_handle, int);
typedef int (*CLIENT_SeekPlayBack_fn)(qn_handle, int, int);
typedef int (*CLIENT_PlayBackControlDirection_fn)(qn_handle, int);
typedef int (*CLIENT_SetPlayBackSpeed_fn)(qn_handle, int);
typedef qn_handle (*CLIENT_DownloadByRecordFileEx2_fn)(qn_handle, const qn_record_file *,
                                                       const char *, qn_position_cb, void *,
                                                       qn_data_cb, void *, void *, int);
typedef qn_handle (*CLIENT_DownloadByTimeEx_fn)(qn_handle, int, int, const qn_time *,
                                                const qn_time *, const char *, qn_time_position_cb,
                                                void *, qn_data_cb, void *, void *);
typedef int (*CLIENT_StopDownload_fn)(qn_handle);
typedef int (*CLIENT_DownloadRemoteFile_fn)(qn_handle, const qn_remote_file_in *,
                                            qn_remote_file_out *, int);
typedef int (*CLIENT_DownloadPieceFile_fn)(qn_handle, const qn_piece_in *, qn_piece_out *, int);
typedef qn_handle (*CLIENT_StartTalkEx_fn)(qn_handle, qn_talk_cb, void *);
typedef int (*CLIENT_StopTalkEx_fn)(qn_handle);
typedef int (*CLIENT_RecordStart_fn)(void);
typedef int (*CLIENT_RecordStop_fn)(void);
typedef void (*CLIENT_AudioDec_fn)(const char *, uint32_t);
typedef long (*CLIENT_TalkSendData_fn)(qn_handle, const char *, uint32_t);
typedef qn_handle (*CLIENT_AttachConfigChange_fn)(qn_handle, const qn_config_attach_in *,
                                                  qn_config_attach_out *, int);
typedef int (*CLIENT_DetachConfigChange_fn)(qn_handle);
typedef int (*CLIENT_TransmitInfoForWebEx_fn)(qn_handle, const qn_transmit_in *, qn_transmit_out *,
                                              int);
typedef qn_handle (*CLIENT_AttachTransmitInfo_fn)(qn_handle, const qn_transmit_attach_in *,
                                                  qn_transmit_out *, int);
typedef int (*CLIENT_DetachTransmitInfo_fn)(qn_handle, const qn_transmit_detach_in *,
                                            qn_transmit_out *, int);
typedef qn_handle (*CLIENT_AttachVK_fn)(qn_handle, const qn_vk_in *, qn_vk_out *, int);
typedef int (*CLIENT_DetachVK_fn)(qn_handle);

/* ---- simulation and journal controls (tests) ----
 * Mode QNSIM_MODE_SIMULATE (default) serves the devices found in the devices folder: the
 * folder set by QNSIM_SetDevicesFolder, else $QUILLNET_DEVICES, else devices/ beside this
 * library. Mode QNSIM_MODE_SCRIPTED runs no device: every call answers from the script
 * (QNSIM_Script) or the default (success; handles counted from 1), and the callbacks it was
 * given are fired only by the QNSIM_Fire functions.
 * The journal records every CLIENT_ call with its arguments (records expanded to their fields)
 * as a JSON array of {"call": name, "args": [...]} objects.
 */
enum { QNSIM_MODE_SIMULATE = 0, QNSIM_MODE_SCRIPTED = 1 };

QN_API void QNSIM_Reset(void);                       /* stop all, clear journal and scripts, simulate */
QN_API void QNSIM_SetMode(int mode);
QN_API void QNSIM_SetDevicesFolder(const char *path); /* null or "" returns to the default */
QN_API void QNSIM_SetJournal(int enabled);
QN_API void QNSIM_ClearJournal(void);
/* Copies the journal (JSON text, NUL-terminated when it fits) and returns its length. */
QN_API int QNSIM_GetJournal(char *buffer, int size);
/* Queues the outcome of the next call of function, as JSON: {"result": n, "lastError": n,
   plus per function: "error", "lockLeft", "lockedSeconds" (login), "secondaryAnalyse",
   "answer" (transmit calls, a text or JSON value), "total", "data" (piece download)}. */
QN_API int QNSIM_Script(const char *function, const char *json);
QN_API void QNSIM_ClearScript(void);

/* Each fire runs the callback on a stand-in thread and waits for it; -1 when the handle has
   no such callback. */
QN_API int QNSIM_FireData(qn_handle handle, const void *buffer, uint32_t size);
QN_API int QNSIM_FireRealData(qn_handle real, const void *buffer, uint32_t size);
QN_API int QNSIM_FirePosition(qn_handle handle, uint32_t total, int32_t done);
QN_API int QNSIM_FireDisconnect(qn_handle login, const char *ip, int port);
QN_API int QNSIM_FireReconnect(qn_handle login, const char *ip, int port);
QN_API int QNSIM_FireConfigChange(qn_handle attach, const char *name, const char *json);
/* attach 0: every transmit attachment */
QN_API int QNSIM_FireTransmit(qn_handle attach, const char *text, const void *binary,
                              uint32_t binary_length);
QN_API int QNSIM_FireTalk(qn_handle talk, const void *buffer, uint32_t size, int flag);
QN_API int QNSIM_FireVK(qn_handle attach, const void *data, uint32_t length);

/* Simulation: make a running playback or download fail now (it ends with (total, -2)). */
QN_API int QNSIM_FailTransfer(qn_handle handle);
/* Simulation: number of callbacks running or streams open (0 when all is quiet). */
QN_API int QNSIM_ActiveStreams(void);
/* Simulation: bytes sent with CLIENT_TalkSendData and decoded with CLIENT_AudioDec. */
QN_API void QNSIM_TalkCounters(long long *sent, long long *decoded);
/* Simulation: called on the opening thread once the worker of a live stream, playback,
   download or talk has started, before the opening call returns (so a test can hold the call
   there while the worker runs); null removes it, and so does QNSIM_Reset. */
typedef void (*qnsim_start_hook)(qn_handle stream, void *user);
QN_API void QNSIM_SetStartHook(qnsim_start_hook hook, void *user);

#ifdef __cplusplus
}
#endif

#endif
