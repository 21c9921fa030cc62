// SPDX-License-Identifier: MIT
// bench_local_report --cli PATH HOME [--monthly HOME2] [--runs N]: `tallyvue-cli report` beside
// grep on corpora written by bench_local_corpus (HOME is read as the user's home):
//   - report daily, blocks and session, and `grep -rcF '"type":"assistant"'` over the same
//     files, run in turns so that they share the machine's state: wall time, CPU time (all
//     threads) and peak resident memory of each process, and the ratios to grep;
//   - with --monthly, report monthly on a larger corpus (30 days or more) against its targets.
// The page cache is warmed first; run it on a quiet machine.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Run
{
    double wallMs = 0;
    double cpuMs = 0;
    long peakKb = 0;
    int status = 0;
};

/// Runs argv with HOME set to `home`, standard output to a scratch file and error to /dev/null.
/// Not standard output to /dev/null: GNU grep notices that and stops at the first match, as -q.
Run runChild(const std::vector<std::string>& args, const std::string& home)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env{"HOME=" + home};
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        if (!entry.starts_with("HOME=") && !entry.starts_with("CLAUDE_CONFIG_DIR=") &&
            !entry.starts_with("CODEX_HOME="))
            env.emplace_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    static const std::string scratch = [] {
        char path[] = "/tmp/tallyvue-bench-out-XXXXXX";
        const int fd = mkstemp(path);
        if (fd >= 0)
            close(fd);
        return std::string(path);
    }();
    posix_spawn_file_actions_addopen(&actions, 1, scratch.c_str(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        std::fprintf(stderr, "cannot run %s\n", argv[0]);
        std::exit(1);
    }
    Run run;
    struct rusage usage
    {
    };
    wait4(pid, &run.status, 0, &usage);
    run.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    run.cpuMs = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    run.peakKb = usage.ru_maxrss;
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

/// Reads every file under the corpus once; returns its size in bytes.
std::uintmax_t warm(const std::string& home)
{
    std::uintmax_t bytes = 0;
    std::vector<char> buf(1 << 20);
    for (const char* tree : {"/.claude/projects", "/.codex/sessions"}) {
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(home + tree, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (!it->is_regular_file())
                continue;
            const int fd = open(it->path().c_str(), O_RDONLY);
            ssize_t n = 0;
            while (fd >= 0 && (n = read(fd, buf.data(), buf.size())) > 0)
                bytes += std::uintmax_t(n);
            if (fd >= 0)
                close(fd);
        }
    }
    return bytes;
}

struct Subject
{
    const char* name;
    std::vector<std::string> args;
    std::vector<Run> runs;
};

} // namespace

int main(int argc, char** argv)
{
    std::string cli;
    std::string home;
    std::string monthlyHome;
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--cli") && i + 1 < argc)
            cli = argv[++i];
        else if (!std::strcmp(argv[i], "--monthly") && i + 1 < argc)
            monthlyHome = argv[++i];
        else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            home = argv[i];
    }
    if (cli.empty() || home.empty()) {
        std::fprintf(stderr, "usage: %s --cli PATH HOME [--monthly HOME2] [--runs N]\n", argv[0]);
        return 2;
    }
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("nproc: %u, load average before: %.2f\n", std::thread::hardware_concurrency(), load[0]);
    std::printf("corpus %s: %.1f MB (page cache warmed)\n", home.c_str(), double(warm(home)) / 1048576.0);

    std::vector<Subject> subjects{
        {"grep -rcF '\"type\":\"assistant\"'",
         {"grep", "-rcF", R"("type":"assistant")", home + "/.claude/projects", home + "/.codex/sessions"},
         {}},
        {"tallyvue-cli report daily", {cli, "report", "daily"}, {}},
        {"tallyvue-cli report blocks", {cli, "report", "blocks"}, {}},
        {"tallyvue-cli report session", {cli, "report", "session"}, {}},
    };
    // In turns, so that a change in the machine's load touches every subject alike.
    for (int r = 0; r < runs; ++r) {
        for (Subject& s : subjects)
            s.runs.push_back(runChild(s.args, home));
    }
    const auto stat = [](const Subject& s, double Run::*field) {
        std::vector<double> values;
        for (const Run& run : s.runs)
            values.push_back(run.*field);
        return median(values);
    };
    const auto peak = [](const Subject& s) {
        long kb = 0;
        for (const Run& run : s.runs)
            kb = std::max(kb, run.peakKb);
        return double(kb) / 1024.0;
    };
    const double grepWall = stat(subjects[0], &Run::wallMs);
    const double grepCpu = stat(subjects[0], &Run::cpuMs);
    const double dailyWall = stat(subjects[1], &Run::wallMs);
    std::printf("\n%-36s %9s %9s %9s %8s %8s %9s\n", ("median of " + std::to_string(runs) + " runs").c_str(), "wall ms",
                "CPU ms", "peak MB", "wall/grep", "CPU/grep", "wall/daily");
    for (const Subject& s : subjects) {
        const bool failed = std::any_of(s.runs.begin(), s.runs.end(), [&](const Run& run) {
            return !WIFEXITED(run.status) || WEXITSTATUS(run.status) > (&s == &subjects[0] ? 1 : 0);
        });
        std::printf("%-36s %9.0f %9.0f %9.1f %8.2f %8.2f %9.2f%s\n", s.name, stat(s, &Run::wallMs),
                    stat(s, &Run::cpuMs), peak(s), stat(s, &Run::wallMs) / grepWall, stat(s, &Run::cpuMs) / grepCpu,
                    stat(s, &Run::wallMs) / dailyWall, failed ? "   (a run failed)" : "");
    }
    std::printf("targets: report daily <= 0.80 x grep wall and <= 1.00 x grep CPU, peak <= 64 MB; blocks and "
                "session within 10 %% of daily\n");

    if (!monthlyHome.empty()) {
        std::printf("\ncorpus %s: %.1f MB (page cache warmed)\n", monthlyHome.c_str(),
                    double(warm(monthlyHome)) / 1048576.0);
        Subject monthly{"tallyvue-cli report monthly", {cli, "report", "monthly"}, {}};
        for (int r = 0; r < std::min(runs, 3); ++r)
            monthly.runs.push_back(runChild(monthly.args, monthlyHome));
        std::printf("%-36s wall median %.0f ms, CPU median %.0f ms, peak %.1f MB   targets <= 3000 ms, <= 80 MB\n",
                    monthly.name, stat(monthly, &Run::wallMs), stat(monthly, &Run::cpuMs), peak(monthly));
    }
    return 0;
}
