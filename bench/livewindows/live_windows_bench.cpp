// Plays live channels of the demo device into N windows the way the client does (the device
// library's live data into player ports, each port drawing into a video sink) and prints the
// process CPU time per window, first with the portable colour conversion
// (SCALECORE_PORTABLE=1), then with the library-backed one.
//
//   live_windows_bench [seconds]      (default 6 s of measurement per run)
//
// Each run is a child process of its own, so that the conversion chosen at start-up applies.
#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "playsdk.h"
#include "quillnet.h"

extern char **environ;

namespace {

struct Window {
    PLAY_VIDEO_SINK sink{};
    std::atomic<long> frames{0};
    std::atomic<int> width{0}, height{0};
    int32_t port = 0;
    qn_handle real = 0;
    PLAY_InputData_fn input = nullptr;
};

void Draw(void *user, const uint8_t *, int32_t width, int32_t height, int32_t)
{
    auto *w = static_cast<Window *>(user);
    w->width = width;
    w->height = height;
    ++w->frames;
}

void RealData(qn_handle, uint32_t type, const uint8_t *buffer, uint32_t size, void *user)
{
    auto *w = static_cast<Window *>(user);
    if (type == 0)
        w->input(w->port, buffer, int32_t(size));
}

double ProcessCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

template <typename F>
F Symbol(void *module, const char *name)
{
    void *f = dlsym(module, name);
    if (!f) {
        std::fprintf(stderr, "missing %s\n", name);
        std::exit(2);
    }
    return reinterpret_cast<F>(f);
}

// One run: windows on the given channels; prints "cpu_percent_per_window fps_per_window WxH".
int Run(const std::vector<int> &channels, double seconds)
{
    void *play = dlopen(PLAY_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    void *qn = dlopen(QUILLNET_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!play || !qn) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    auto getPort = Symbol<PLAY_GetFreePort_fn>(play, "PLAY_GetFreePort");
    auto openMode = Symbol<int32_t (*)(int32_t, int32_t)>(play, "PLAY_SetStreamOpenMode");
    auto openStream = Symbol<PLAY_OpenStream_fn>(play, "PLAY_OpenStream");
    auto playPort = Symbol<PLAY_Play_fn>(play, "PLAY_Play");
    auto stop = Symbol<int32_t (*)(int32_t)>(play, "PLAY_Stop");
    auto close = Symbol<int32_t (*)(int32_t)>(play, "PLAY_CloseStream");
    auto release = Symbol<int32_t (*)(int32_t)>(play, "PLAY_ReleasePort");
    auto input = Symbol<PLAY_InputData_fn>(play, "PLAY_InputData");
    auto init = Symbol<CLIENT_Init_fn>(qn, "CLIENT_Init");
    auto cleanup = Symbol<void (*)()>(qn, "CLIENT_Cleanup");
    auto login = Symbol<CLIENT_LoginEx2_fn>(qn, "CLIENT_LoginEx2");
    auto logout = Symbol<CLIENT_Logout_fn>(qn, "CLIENT_Logout");
    auto realPlay = Symbol<CLIENT_RealPlayEx_fn>(qn, "CLIENT_RealPlayEx");
    auto setData = Symbol<CLIENT_SetRealDataCallBack_fn>(qn, "CLIENT_SetRealDataCallBack");
    auto stopReal = Symbol<CLIENT_StopRealPlay_fn>(qn, "CLIENT_StopRealPlay");

    init(nullptr, nullptr);
    qn_device_info info{};
    int error = 0;
    const qn_handle session = login("127.0.0.1", 37777, "admin", "admin123", 0, nullptr, &info, &error);
    if (!session) {
        std::fprintf(stderr, "login to the demo device failed (%d)\n", error);
        return 2;
    }
    std::vector<Window> windows(channels.size());
    for (size_t i = 0; i < windows.size(); ++i) {
        Window &w = windows[i];
        w.sink.draw = Draw;
        w.sink.user = &w;
        w.input = input;
        if (!getPort(&w.port) || !openMode(w.port, PLAY_STREAM_REALTIME) ||
            !openStream(w.port, nullptr, 0, 8 << 20) || !playPort(w.port, &w.sink)) {
            std::fprintf(stderr, "player port %zu failed\n", i);
            return 2;
        }
        w.real = realPlay(session, channels[i], nullptr, 0);
        if (!w.real || !setData(w.real, RealData, &w)) {
            std::fprintf(stderr, "live channel %d failed\n", channels[i]);
            return 2;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));   // streams under way
    std::vector<long> first;
    for (const Window &w : windows)
        first.push_back(w.frames);
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    long frames = 0;
    for (size_t i = 0; i < windows.size(); ++i)
        frames += windows[i].frames - first[i];
    for (Window &w : windows) {
        stopReal(w.real);
        stop(w.port);
        close(w.port);
        release(w.port);
    }
    logout(session);
    cleanup();
    const double n = double(windows.size());
    std::printf("%.1f %.1f %dx%d\n", 100.0 * cpu / wall / n, double(frames) / wall / n, windows[0].width.load(),
                windows[0].height.load());
    return 0;
}

// Runs this program as a child for one configuration; its printed line, or empty.
std::string Child(const char *self, bool portable, const std::string &channels, const std::string &seconds)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e)
        if (std::strncmp(*e, "SCALECORE_PORTABLE=", 19) != 0)
            env.push_back(*e);
    if (portable)
        env.push_back("SCALECORE_PORTABLE=1");
    std::vector<char *> envp;
    for (std::string &s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string mode = "--run";
    std::vector<char *> argv = {const_cast<char *>(self), mode.data(), const_cast<char *>(channels.c_str()),
                                const_cast<char *>(seconds.c_str()), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string out;
    char buf[256];
    ssize_t n;
    while (spawned == 0 && (n = read(fds[0], buf, sizeof buf)) > 0)
        out.append(buf, size_t(n));
    ::close(fds[0]);
    int status = 0;
    if (spawned == 0)
        waitpid(pid, &status, 0);
    if (spawned != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    return out.substr(0, out.find('\n'));
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--run") == 0) {
        std::vector<int> channels;
        for (const char *p = argv[2]; *p; ++p)
            if (*p >= '0' && *p <= '9')
                channels.push_back(*p - '0');
        return Run(channels, std::atof(argv[3]));
    }
    const std::string seconds = argc >= 2 ? argv[1] : "6";
    // One window per resolution of the demo device (channels 0 704x576, 1 1280x720, 2 1920x1080),
    // then 4 and 9 windows over those channels.
    const std::vector<std::pair<std::string, std::string>> runs = {
        {"1 window, channel 0", "0"}, {"1 window, channel 1", "1"}, {"1 window, channel 2", "2"},
        {"4 windows, channels 0-2", "0120"}, {"9 windows, channels 0-2", "012012012"}};
    std::printf("CPU per window, %% of one core (frames/s per window), %s s per run, %u cores\n", seconds.c_str(),
                std::thread::hardware_concurrency());
    std::printf("%-26s %-12s %24s %24s\n", "windows", "picture", "portable conversion", "library conversion");
    for (const auto &run : runs) {
        const std::string before = Child(argv[0], true, run.second, seconds);
        const std::string after = Child(argv[0], false, run.second, seconds);
        double cpu[2] = {}, fps[2] = {};
        char size[32] = "?";
        const bool ok = std::sscanf(before.c_str(), "%lf %lf %31s", &cpu[0], &fps[0], size) == 3 &&
                        std::sscanf(after.c_str(), "%lf %lf %31s", &cpu[1], &fps[1], size) == 3;
        if (!ok) {
            std::printf("%-26s failed (is the demo device generated? build the DemoDevice target)\n", run.first.c_str());
            continue;
        }
        std::printf("%-26s %-12s %15.1f%% (%4.1f/s) %15.1f%% (%4.1f/s)\n", run.first.c_str(),
                    run.second.size() > 1 ? "mixed" : size, cpu[0], fps[0],
                    cpu[1], fps[1]);
    }
    return 0;
}
