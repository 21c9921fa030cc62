// SPDX-License-Identifier: MIT
// Runs the real `tallyvue-cli statusline` as Claude Code does (JSON on stdin, one line read back)
// and prints the median and slowest wall time and the peak resident memory per input. Targets:
// under 20 ms median and 15 MB. `--runs N` (default 200); `--cli PATH` measures another build.
// Runs in a private temporary home, so the data folder and settings are its own.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Run
{
    double milliseconds = 0;
    long peakKilobytes = 0;
    bool ok = false;
};

/// What is written to stdin: `head`, then `padding` bytes of 'x', then `tail`. The padding is
/// made while writing, so this process stays small: the kernel counts the memory of the process
/// that execs the program in the program's peak.
struct Input
{
    std::string head;
    size_t padding = 0;
    std::string tail;
};

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

Run runOnce(const char* cli, const Input& input)
{
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    for (const int fd : {in[0], in[1], out[0], out[1]})
        posix_spawn_file_actions_addclose(&actions, fd);
    char* argv[] = {const_cast<char*>(cli), const_cast<char*>("statusline"), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, cli, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    if (spawned != 0)
        return {};
    std::string line;
    char buffer[4096];
    const std::string padding(sizeof buffer, 'x');
    bool written = writeAll(in[1], input.head.data(), input.head.size());
    for (size_t left = input.padding; written && left > 0; left -= std::min(left, padding.size()))
        written = writeAll(in[1], padding.data(), std::min(left, padding.size()));
    written = written && writeAll(in[1], input.tail.data(), input.tail.size());
    ::close(in[1]);
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        line.append(buffer, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    return {std::chrono::duration<double, std::milli>(end - start).count(), usage.ru_maxrss,
            WIFEXITED(status) && WEXITSTATUS(status) == 0 && !line.empty()};
}

} // namespace

int main(int argc, char** argv)
{
    const char* cli = TALLYVUE_CLI_PATH;
    int runs = 200;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--cli") == 0)
            cli = argv[i + 1];
    }
    char home[] = "/tmp/tallyvue-statusline-bench-XXXXXX";
    if (!::mkdtemp(home))
        return 1;
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        ::setenv(name, home, 1);
    // A current snapshot, as a running Tallyvue keeps it: the line reads it for ChatGPT and Copilot.
    const std::string folder = std::string(home) + "/K2V8R4NW7T.com.tallyvue.shared";
    char now[32];
    const time_t seconds = ::time(nullptr);
    std::strftime(now, sizeof now, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&seconds));
    if (::mkdir(folder.c_str(), 0700) == 0) {
        if (FILE* file = std::fopen((folder + "/widgetSnapshot.json").c_str(), "w")) {
            std::fprintf(file,
                         R"({"timestamp":"%s","metrics":[{"provider":"ChatGPT","kind":"primary","title":"5-Hour",)"
                         R"("percent":31},{"provider":"Copilot","kind":"premium_interactions","title":"Premium",)"
                         R"("percent":12}],"displayMode":"used"})",
                         now);
            std::fclose(file);
        }
    }

    const std::string typical =
        R"({"session_id":"abc","model":{"id":"claude-opus-4-6","display_name":"Opus 4.6"},)"
        R"("workspace":{"current_dir":"/home/user/project"},"cost":{"total_cost_usd":1.84},)"
        R"("context_window":{"used_percentage":45.2},"rate_limits":{"five_hour":{"used_percentage":23.5,)"
        R"("resets_at":4102444800},"seven_day":{"used_percentage":82,"resets_at":4102444800}}})";
    const struct
    {
        const char* name;
        Input input;
    } inputs[] = {
        {"typical object", {typical, 0, {}}},
        {"empty input", {}},
        {"10 MB input", {R"({"pad":")", 10 * 1024 * 1024, R"("})"}},
    };
    signal(SIGPIPE, SIG_IGN); // a run that stops reading must not end the benchmark
    std::printf("%s statusline, %d runs each\n", cli, runs);
    bool allOk = true;
    for (const auto& [name, input] : inputs) {
        std::vector<double> times;
        long peak = 0;
        for (int i = 0; i < runs; ++i) {
            const Run run = runOnce(cli, input);
            allOk = allOk && run.ok;
            times.push_back(run.milliseconds);
            peak = std::max(peak, run.peakKilobytes);
        }
        std::sort(times.begin(), times.end());
        std::printf("  %-15s median %6.2f ms   p90 %6.2f ms   max %6.2f ms   peak RSS %5.1f MB\n", name,
                    times[times.size() / 2], times[times.size() * 9 / 10], times.back(), peak / 1024.0);
    }
    std::printf("targets: median < 20 ms, peak RSS < 15 MB%s\n", allOk ? "" : "  (some runs failed!)");
    std::string cleanup = std::string("rm -rf '") + home + "'";
    return std::system(cleanup.c_str()) == 0 && allOk ? 0 : 1;
}
