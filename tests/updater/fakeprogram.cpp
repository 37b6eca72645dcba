// Stand-in for the client (keeps running) or the full setup (ends at once). Each start leaves a
// marker "<own folder>/markers/<own name>.<pid>" holding its pid, working folder and executable.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int main()
{
    char exe[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (length <= 0)
        return 1;
    const std::string path(exe, static_cast<size_t>(length));
    const std::string folder = path.substr(0, path.rfind('/'));
    const std::string name = path.substr(path.rfind('/') + 1);
    char cwd[PATH_MAX] = {};
    if (!getcwd(cwd, sizeof(cwd)))
        cwd[0] = 0;

    const std::string markers = folder + "/markers";
    mkdir(markers.c_str(), 0755);
    const std::string marker = markers + "/" + name + "." + std::to_string(getpid());
    const std::string partial = marker + ".tmp";
    if (FILE* out = std::fopen(partial.c_str(), "w")) {
        std::fprintf(out, "%d\n%s\n%s\n", static_cast<int>(getpid()), cwd, path.c_str());
        std::fclose(out);
        std::rename(partial.c_str(), marker.c_str());
    }
#ifdef FAKE_KEEPS_RUNNING
    // Bounded, so nothing outlives a broken test run for long.
    for (int i = 0; i < 600; ++i)
        usleep(100 * 1000);
#endif
    return 0;
}
