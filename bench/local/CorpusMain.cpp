// SPDX-License-Identifier: MIT
// bench_local_corpus DIR [--size-mb N] [--seed S] [--days D]: writes a transcript corpus under
// DIR/.claude/projects and DIR/.codex/sessions, spread over the last D days (10 unless told).
#include "CorpusWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>

using namespace tallyvue::bench;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [--size-mb N] [--seed S] [--days D]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path root = argv[1];
    std::uint64_t targetBytes = 1024ull << 20;
    std::uint64_t seed = 1;
    double days = 10;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--size-mb"))
            targetBytes = std::strtoull(argv[i + 1], nullptr, 10) << 20;
        else if (!std::strcmp(argv[i], "--seed"))
            seed = std::strtoull(argv[i + 1], nullptr, 10);
        else if (!std::strcmp(argv[i], "--days"))
            days = std::max(1.0, std::strtod(argv[i + 1], nullptr));
    }
    CorpusWriter w(seed);
    auto& rng = w.rng();
    const std::int64_t nowMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const std::int64_t dayMs = 86'400'000;

    std::vector<std::string> projects;
    for (int i = 0; i < 60; ++i)
        projects.push_back("project-" + std::string(w.text(12).substr(0, 6)) + "-" + std::to_string(i));
    for (std::string& p : projects) {
        for (char& c : p) {
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-')
                c = 'x';
        }
    }
    const char* claudeModels[] = {"claude-sonnet-4-5-20250929", "claude-opus-4-1-20250805", "claude-haiku-4-5-20251001",
                                  "claude-sonnet-4-20250514"};
    const char* codexModels[] = {"gpt-5-codex", "gpt-5"};

    std::uint64_t total = 0;
    std::size_t files = 0;
    std::size_t allLines = 0;
    std::string out;
    while (total < targetBytes) {
        const std::string& project = projects[rng() % projects.size()];
        const bool codex = w.chance(0.2);
        const double u = std::uniform_real_distribution<double>(0, 1)(rng);
        const std::size_t maxLines = std::size_t(50 * std::pow(60.0, u * u * u * u));
        const std::int64_t start =
            nowMs - std::int64_t(std::uniform_real_distribution<double>(0.02, days)(rng) * dayMs);
        out.clear();
        std::size_t lines = 0;
        std::filesystem::path file;
        std::int64_t endMs = start;
        if (codex) {
            CorpusWriter::CodexSession s{"/home/dev/" + project, codexModels[rng() % 2], start, true};
            w.codexHeader(s, out);
            ++lines;
            while (lines < maxLines)
                w.codexTurn(s, out, lines);
            endMs = s.clockMs;
            const std::time_t t = std::time_t(start / 1000);
            std::tm tm{};
            gmtime_r(&t, &tm);
            char dir[32];
            std::snprintf(dir, sizeof dir, "%04d/%02d/%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
            file = root / ".codex/sessions" / dir / ("rollout-" + w.uuid() + ".jsonl");
        } else {
            CorpusWriter::ClaudeSession s{"/home/dev/" + project, w.uuid(), claudeModels[rng() % 4], w.uuid(), start};
            while (lines < maxLines)
                w.claudeTurn(s, out, lines, maxLines);
            endMs = s.clockMs;
            file = root / ".claude/projects" / ("-home-dev-" + project) / (s.sessionId + ".jsonl");
        }
        if (w.chance(0.02))
            out +=
                R"({"parentUuid":"x","message":{"id":"msg_partial","usage":{"input_tokens":3)"; // still being written
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary).write(out.data(), std::streamsize(out.size()));
        const std::int64_t mtime = std::min(endMs, nowMs);
        const timespec times[2] = {{mtime / 1000, (mtime % 1000) * 1'000'000},
                                   {mtime / 1000, (mtime % 1000) * 1'000'000}};
        utimensat(AT_FDCWD, file.c_str(), times, 0);
        total += out.size();
        allLines += lines;
        ++files;
    }
    std::printf("corpus: %zu files, %zu lines, %.1f MB in %s\n", files, allLines, double(total) / 1048576.0,
                root.c_str());
    return 0;
}
