// SPDX-License-Identifier: MIT
// bench_local_scan HOME [--cli PATH]: the transcript scanner's figures on a corpus written by
// bench_local_corpus (HOME is the corpus folder, read as the user's home):
//   - the first full scan in a fresh process, and its ratio to `grep -c` over the same files,
//   - a scan with nothing changed, and one after 1 MB was appended to one transcript,
//   - peak resident memory of the first scan and heap bytes held per event afterwards,
//   - the time to price every event at API list prices.
#include "CorpusWriter.h"

#include "local/LocalUsageCost.h"
#include "local/LocalUsageScanner.h"
#include "local/TranscriptTree.h"
#include "model/Log.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace tallyvue;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

EpochMs nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

/// CPU time of this thread (the incremental scans run on the calling thread alone).
double threadCpuMs()
{
    struct rusage usage
    {
    };
    getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct ChildRun
{
    double wallMs = 0;
    long maxRssKb = 0;
    std::string output;
};

/// Runs argv with the given environment additions; standard output is captured.
ChildRun runChild(const std::vector<std::string>& args, const std::vector<std::string>& env, bool captureStderr)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        const bool replaced = std::any_of(env.begin(), env.end(), [&](const std::string& add) {
            return entry.substr(0, entry.find('=') + 1) == std::string_view(add).substr(0, add.find('=') + 1);
        });
        if (!replaced)
            envStrings.emplace_back(entry);
    }
    envStrings.insert(envStrings.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (std::string& e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int devNull = open("/dev/null", O_WRONLY);
    posix_spawn_file_actions_adddup2(&actions, captureStderr ? devNull : pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, captureStderr ? pipeFds[1] : devNull, 2);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        std::fprintf(stderr, "cannot run %s\n", argv[0]);
        std::exit(1);
    }
    close(pipeFds[1]);
    close(devNull);
    ChildRun run;
    char buf[4096];
    ssize_t n = 0;
    while ((n = read(pipeFds[0], buf, sizeof buf)) > 0)
        run.output.append(buf, std::size_t(n));
    close(pipeFds[0]);
    int status = 0;
    struct rusage usage
    {
    };
    wait4(pid, &status, 0, &usage);
    run.wallMs = msSince(start);
    run.maxRssKb = usage.ru_maxrss;
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

int firstScanChild(const char* home)
{
    setenv("HOME", home, 1);
    setLogSink(LogSink::StandardError);
    LocalUsageScanner scanner;
    const auto start = Clock::now();
    const std::vector<LocalUsageEvent> events = scanner.scanBlocking(nowMs());
    const double ms = msSince(start);
    struct rusage usage
    {
    };
    getrusage(RUSAGE_SELF, &usage);
    // The peak of this program's own memory (ru_maxrss of a spawned child counts its parent's).
    long peakKb = 0;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            if (std::sscanf(line, "VmHWM: %ld kB", &peakKb) == 1)
                break;
        }
        std::fclose(status);
    }
    const LocalUsageScanSummary summary = scanner.lastSummary();
    const double cpuMs = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    std::printf("%.1f %ld %zu %zu %llu %.1f\n", ms, peakKb, events.size(), summary.files,
                static_cast<unsigned long long>(summary.bytesRead), cpuMs);
    return 0;
}

/// Claude Code rows worth about `bytes`, stamped now, for appending to one transcript.
std::string newRows(bench::CorpusWriter& writer, std::size_t bytes)
{
    bench::CorpusWriter::ClaudeSession session{"/home/dev/appended", writer.uuid(), "claude-sonnet-4-5-20250929",
                                               writer.uuid(), nowMs() - 60'000};
    std::string out;
    std::size_t lines = 0;
    while (out.size() < bytes)
        writer.claudeTurn(session, out, lines, lines + 40);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && !std::strcmp(argv[1], "--first-scan"))
        return firstScanChild(argv[2]);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_HOME [--cli PATH]\n", argv[0]);
        return 2;
    }
    const std::string home = argv[1];
    std::string cli;
    for (int i = 2; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--cli"))
            cli = argv[i + 1];
    }
    unsetenv("CLAUDE_CONFIG_DIR");
    unsetenv("CODEX_HOME");
    setLogSink(LogSink::StandardError);
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("nproc: %u, load average before: %.2f\n", std::thread::hardware_concurrency(), load[0]);

    // The files a first scan opens: transcripts changed inside the window.
    const EpochMs now = nowMs();
    detail::TranscriptTree tree;
    detail::Listing listing;
    tree.list(home + "/.claude/projects", listing);
    const std::size_t claudeCount = listing.files.size();
    tree.list(home + "/.codex/sessions", listing);
    const std::vector<detail::ListedFile>& listed = listing.files;
    std::vector<std::string> inWindow;
    std::string appendTarget;
    std::int64_t windowBytes = 0;
    std::int64_t allBytes = 0;
    std::int64_t targetSize = 0;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const detail::ListedFile& f = listed[i];
        allBytes += f.size;
        if (f.mtimeNs / 1'000'000 < now - LocalUsageScanner::kWindowMs)
            continue;
        inWindow.emplace_back(listing.path(f));
        windowBytes += f.size;
        // A mid-sized Claude transcript takes the appended megabyte.
        if (i < claudeCount && f.size > targetSize && f.size < (4 << 20)) {
            targetSize = f.size;
            appendTarget = listing.path(f);
        }
    }
    std::printf("corpus: %zu transcripts, %.1f MB; inside the 8-day window: %zu transcripts, %.1f MB\n", listed.size(),
                double(allBytes) / 1048576.0, inWindow.size(), double(windowBytes) / 1048576.0);

    // Page cache: read everything once so that every figure below is a cached read.
    {
        std::vector<char> buf(1 << 20);
        for (const detail::ListedFile& f : listed) {
            const int fd = open(std::string(listing.path(f)).c_str(), O_RDONLY);
            while (fd >= 0 && read(fd, buf.data(), buf.size()) > 0) {
            }
            if (fd >= 0)
                close(fd);
        }
    }

    std::vector<std::string> grepArgs{"grep", "-c", R"("type":"assistant")"};
    grepArgs.insert(grepArgs.end(), inWindow.begin(), inWindow.end());
    std::vector<double> grepMs;
    for (int i = 0; i < 5; ++i)
        grepMs.push_back(runChild(grepArgs, {}, false).wallMs);
    const double grepBest = *std::min_element(grepMs.begin(), grepMs.end());
    std::printf("grep -c '\"type\":\"assistant\"' over the same files: best %.0f ms, median %.0f ms\n", grepBest,
                median(grepMs));

    std::vector<double> firstMs;
    std::vector<double> firstWall;
    std::vector<double> firstCpu;
    long peakKb = 0;
    std::string firstLine;
    for (int i = 0; i < 5; ++i) {
        const ChildRun run = runChild({argv[0], "--first-scan", home}, {}, false);
        double ms = 0;
        long rss = 0;
        std::size_t ignored = 0;
        unsigned long long ignoredBytes = 0;
        double cpuMs = 0;
        std::sscanf(run.output.c_str(), "%lf %ld %zu %zu %llu %lf", &ms, &rss, &ignored, &ignored, &ignoredBytes,
                    &cpuMs);
        firstMs.push_back(ms);
        firstCpu.push_back(cpuMs);
        firstWall.push_back(run.wallMs);
        peakKb = std::max(peakKb, rss);
        firstLine = run.output;
    }
    const double firstBest = *std::min_element(firstMs.begin(), firstMs.end());
    std::size_t events = 0;
    std::size_t files = 0;
    unsigned long long bytes = 0;
    {
        double ms = 0;
        long rss = 0;
        std::sscanf(firstLine.c_str(), "%lf %ld %zu %zu %llu", &ms, &rss, &events, &files, &bytes);
    }
    std::printf("first scan (fresh process, %zu events from %zu transcripts, %.1f MB read): best %.0f ms, median "
                "%.0f ms (process wall median %.0f ms)\n",
                events, files, double(bytes) / 1048576.0, firstBest, median(firstMs), median(firstWall));
    std::printf("  CPU time of the whole first-scan process (all threads): median %.0f ms\n", median(firstCpu));
    std::printf("  ratio to grep: %.2f (best to best), %.2f (median to median)   target <= 1.5\n", firstBest / grepBest,
                median(firstMs) / median(grepMs));
    std::printf("  peak resident memory of the first-scan process: %.1f MB   target < 60 MB\n",
                double(peakKb) / 1024.0);

    // Before this process grows: a spawned child's peak memory includes its parent's.
    if (!cli.empty()) {
        std::vector<double> wall;
        long cliPeak = 0;
        std::string log;
        for (int i = 0; i < 3; ++i) {
            const ChildRun run = runChild({cli, "local", "--json"}, {"HOME=" + home}, true);
            wall.push_back(run.wallMs);
            cliPeak = std::max(cliPeak, run.maxRssKb);
            log = run.output;
        }
        while (!log.empty() && log.back() == '\n')
            log.pop_back();
        std::printf(
            "tallyvue-cli local --json (fresh process): wall median %.0f ms, peak resident %.1f MB; it logs: %s\n",
            median(wall), double(cliPeak) / 1024.0, log.c_str());
    }
    // The same scanner through its later scans.
    setenv("HOME", home.c_str(), 1);
    const std::size_t heapBefore = heapInUse();
    LocalUsageScanner scanner;
    {
        const auto start = Clock::now();
        const std::vector<LocalUsageEvent> first = scanner.scanBlocking(nowMs());
        std::printf("in-process first scan: %.0f ms, %zu events\n", msSince(start), first.size());
        const auto priceStart = Clock::now();
        const LocalUsageCost cost =
            localUsageCost(first, QDateTime::fromMSecsSinceEpoch(0), QDateTime::fromMSecsSinceEpoch(nowMs() + 1));
        std::printf("their cost at API list prices: %s, %lld requests unpriced, priced in %.1f ms\n",
                    qPrintable(costText(cost.usd)), static_cast<long long>(cost.unpricedRequests), msSince(priceStart));
    }
    const std::size_t held = scanner.lastSummary().heldEvents;
    const std::size_t heapAfter = heapInUse();
    std::printf("heap held by the scanner after the first scan: %.1f MB for %zu events = %.0f bytes per event   "
                "target < 200 (the returned list adds %zu bytes per event)\n",
                double(heapAfter - heapBefore) / 1048576.0, held, double(heapAfter - heapBefore) / double(held),
                sizeof(LocalUsageEvent));

    std::vector<double> idle;
    std::vector<double> idleCpu;
    for (int i = 0; i < 20; ++i) {
        const auto start = Clock::now();
        const double cpuStart = threadCpuMs();
        const auto result = scanner.scanBlocking(nowMs());
        idle.push_back(msSince(start));
        idleCpu.push_back(threadCpuMs() - cpuStart);
    }
    std::printf("scan with nothing changed (%zu transcripts): median %.2f ms, max %.2f ms (CPU median %.2f ms)   "
                "target < 20 ms\n",
                scanner.lastSummary().files, median(idle), *std::max_element(idle.begin(), idle.end()),
                median(idleCpu));

    bench::CorpusWriter writer{std::uint64_t(nowMs())}; // fresh message ids on every run
    std::vector<double> appended;
    std::vector<double> appendedCpu;
    std::size_t before = scanner.lastSummary().events;
    std::size_t added = 0;
    for (int i = 0; i < 10; ++i) {
        const std::string rows = newRows(writer, 1 << 20);
        const int fd = open(appendTarget.c_str(), O_WRONLY | O_APPEND);
        if (fd < 0 || write(fd, rows.data(), rows.size()) != ssize_t(rows.size()))
            std::abort();
        close(fd);
        const auto start = Clock::now();
        const double cpuStart = threadCpuMs();
        const auto result = scanner.scanBlocking(nowMs());
        appended.push_back(msSince(start));
        appendedCpu.push_back(threadCpuMs() - cpuStart);
        added += result.size() - before;
        before = result.size();
    }
    std::printf("scan after 1 MB appended to one transcript (%zu new events each): median %.2f ms, max %.2f ms (CPU "
                "median %.2f ms)   target < 10 ms\n",
                added / 10, median(appended), *std::max_element(appended.begin(), appended.end()), median(appendedCpu));

    std::printf("(the appended megabytes stay in %s)\n", appendTarget.c_str());
    return 0;
}
