// SPDX-License-Identifier: MIT
// Writes transcripts that look like real Claude Code and Codex sessions: most bytes in tool
// output and user turns, streaming rows of one message id, several models, Codex sessions
// with session_meta, turn_context and token_count events (info sometimes null), and a few
// malformed and partial lines.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace tallyvue::bench {

class CorpusWriter
{
public:
    explicit CorpusWriter(std::uint64_t seed) : m_rng(seed)
    {
        static const char* const words[] = {"the",
                                            "function",
                                            "return",
                                            "const",
                                            "auto",
                                            "value",
                                            "error",
                                            "file",
                                            "line",
                                            "test",
                                            "build",
                                            "struct",
                                            "index",
                                            "offset",
                                            "buffer",
                                            "parser",
                                            "result",
                                            "config",
                                            "import",
                                            "module",
                                            "class",
                                            "\\n",
                                            "\\n    ",
                                            "\\t",
                                            "\\\"name\\\"",
                                            "{",
                                            "}",
                                            "=>",
                                            "if",
                                            "else",
                                            "for",
                                            "while",
                                            "null",
                                            "true",
                                            "0x1f",
                                            "42",
                                            "3.14",
                                            "caf\\u00e9",
                                            "path/to/src/main.rs",
                                            "\\\"type\\\":\\\"assistant\\\"",
                                            "TODO:",
                                            "warning:",
                                            "std::vector<int>",
                                            "fn",
                                            "let",
                                            "mut",
                                            "self",
                                            "async",
                                            "await",
                                            "npm",
                                            "cargo",
                                            "ok"};
        std::uniform_int_distribution<std::size_t> pick(0, std::size(words) - 1);
        while (m_pool.size() < (8u << 20)) {
            m_pool += words[pick(m_rng)];
            m_pool += ' ';
        }
    }

    std::mt19937_64& rng() { return m_rng; }

    /// Escaped JSON string content of about `size` bytes, cut at blanks so no escape is split.
    std::string_view text(std::size_t size)
    {
        if (size > m_pool.size() / 2)
            size = m_pool.size() / 2;
        std::uniform_int_distribution<std::size_t> start(0, m_pool.size() - size - 64);
        std::size_t from = m_pool.find(' ', start(m_rng)) + 1;
        std::size_t to = m_pool.rfind(' ', from + size);
        if (to <= from)
            to = m_pool.find(' ', from);
        return std::string_view(m_pool).substr(from, to - from);
    }

    std::string uuid()
    {
        static const char hex[] = "0123456789abcdef";
        std::string out(36, '-');
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (i != 8 && i != 13 && i != 18 && i != 23)
                out[i] = hex[m_rng() & 15];
        }
        return out;
    }

    std::string messageId()
    {
        static const char b62[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        std::string out = "msg_01";
        for (int i = 0; i < 22; ++i)
            out += b62[m_rng() % 62];
        return out;
    }

    static std::string timestamp(std::int64_t ms)
    {
        const std::time_t seconds = std::time_t(ms / 1000);
        std::tm tm{};
        gmtime_r(&seconds, &tm);
        char buf[96];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                      tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, int(ms % 1000));
        return buf;
    }

    /// Log-uniform size in [lo, hi].
    std::size_t logSize(double lo, double hi)
    {
        std::uniform_real_distribution<double> u(std::log(lo), std::log(hi));
        return std::size_t(std::exp(u(m_rng)));
    }

    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_rng) < p; }

    struct ClaudeSession
    {
        std::string cwd;
        std::string sessionId;
        std::string model;
        std::string lastUuid;
        std::int64_t clockMs = 0;
    };

    /// One user turn: a prompt, then API calls (streaming rows) and their tool results.
    void claudeTurn(ClaudeSession& s, std::string& out, std::size_t& lines, std::size_t maxLines)
    {
        claudeUser(s, out, text(logSize(40, 1500)), false);
        ++lines;
        std::uniform_int_distribution<int> callCount(1, 12);
        const int calls = callCount(m_rng);
        for (int c = 0; c < calls && lines < maxLines; ++c) {
            const std::string id = messageId();
            const std::string request = "req_011C" + uuid().substr(0, 20);
            const std::int64_t input = std::int64_t(logSize(3, 400));
            const std::int64_t cacheCreate = std::int64_t(logSize(10, 30000));
            const std::int64_t cacheRead = std::int64_t(logSize(1000, 150000));
            const std::int64_t finalOutput = std::int64_t(logSize(5, 4000));
            const int rows = 1 + int(m_rng() % 3);
            const bool tool = c + 1 < calls;
            for (int r = 0; r < rows; ++r) {
                // The first row often says 1, later rows grow, the last rows repeat the total.
                std::int64_t output = r + 1 == rows ? finalOutput : (r == 0 ? 1 : finalOutput / 2);
                const bool isToolUse = tool && r + 1 == rows;
                std::string content;
                if (isToolUse) {
                    const std::size_t inputSize = chance(0.03) ? logSize(3000, 20000) : logSize(60, 1000);
                    content = R"([{"type":"tool_use","id":"toolu_01)" + uuid().substr(0, 22) +
                              R"(","name":"Edit","input":{"file_path":")" + s.cwd + R"(/src/main.rs","new_string":")" +
                              std::string(text(inputSize)) + R"("}}])";
                } else if (r == 0 && chance(0.5)) {
                    content = R"([{"type":"thinking","thinking":")" + std::string(text(logSize(50, 1200))) +
                              R"(","signature":"EqQBCkYIBxgCKkB)" + uuid() + R"("}])";
                } else {
                    content = R"([{"type":"text","text":")" + std::string(text(logSize(20, 800))) + R"("}])";
                }
                const std::string uuidNow = uuid();
                out += R"({"parentUuid":")" + s.lastUuid + R"(","isSidechain":false,"userType":"external","cwd":")" +
                       s.cwd + R"(","sessionId":")" + s.sessionId +
                       R"(","version":"2.0.14","gitBranch":"main","message":{"id":")" + id +
                       R"(","type":"message","role":"assistant","model":")" + s.model + R"(","content":)" + content +
                       R"(,"stop_reason":null,"stop_sequence":null,"usage":{"input_tokens":)" + std::to_string(input) +
                       R"(,"cache_creation_input_tokens":)" + std::to_string(cacheCreate) +
                       R"(,"cache_read_input_tokens":)" + std::to_string(cacheRead) +
                       R"(,"cache_creation":{"ephemeral_5m_input_tokens":)" + std::to_string(cacheCreate) +
                       R"(,"ephemeral_1h_input_tokens":0},"output_tokens":)" + std::to_string(output) +
                       R"(,"service_tier":"standard"}},"requestId":")" + request + R"(","type":"assistant","uuid":")" +
                       uuidNow + R"(","timestamp":")" + timestamp(s.clockMs) + "\"}\n";
                s.lastUuid = uuidNow;
                s.clockMs += 200 + std::int64_t(m_rng() % 3000);
                ++lines;
            }
            if (tool) {
                // Tool output: the bulk of the bytes, written twice as real transcripts do.
                const std::size_t size = chance(0.02) ? logSize(10000, 80000) : logSize(80, 2500);
                const std::string_view result = text(size);
                std::string body = R"([{"tool_use_id":"toolu_01)" + uuid().substr(0, 22) +
                                   R"(","type":"tool_result","content":")" + std::string(result) + R"("}])";
                claudeUser(s, out, body, true, result);
                ++lines;
            }
            if (chance(0.01)) {
                out += R"({"type":"file-history-snapshot","messageId":")" + uuid() +
                       R"(","snapshot":{"trackedFileBackups":{"src/main.rs":{"backupFileName":")" +
                       std::string(text(logSize(100, 20000))) +
                       R"("}}},"isSnapshotUpdate":false})"
                       "\n";
                ++lines;
            }
            if (chance(0.002)) {
                // A row cut short by a crash; the next row follows on its own line.
                out += R"({"parentUuid":")" + s.lastUuid + R"(","message":{"id":")" + messageId() +
                       R"(","usage":{"input_tokens":5)"
                       "\n";
                ++lines;
            }
        }
    }

    void claudeUser(ClaudeSession& s, std::string& out, std::string_view content, bool isToolResult,
                    std::string_view toolResult = {})
    {
        const std::string uuidNow = uuid();
        out += R"({"parentUuid":")" + s.lastUuid + R"(","isSidechain":false,"userType":"external","cwd":")" + s.cwd +
               R"(","sessionId":")" + s.sessionId +
               R"(","version":"2.0.14","gitBranch":"main","type":"user","message":{"role":"user","content":)";
        if (isToolResult) {
            out += content;
            out += R"(},"uuid":")" + uuidNow + R"(","timestamp":")" + timestamp(s.clockMs) +
                   R"(","toolUseResult":{"stdout":")";
            out += toolResult;
            out += R"(","stderr":"","interrupted":false}})"
                   "\n";
        } else {
            out += '"';
            out += content;
            out += R"("},"uuid":")" + uuidNow + R"(","timestamp":")" + timestamp(s.clockMs) + "\"}\n";
        }
        s.lastUuid = uuidNow;
        s.clockMs += 1000 + std::int64_t(m_rng() % 20000);
    }

    struct CodexSession
    {
        std::string cwd;
        std::string model;
        std::int64_t clockMs = 0;
        bool first = true;
    };

    void codexHeader(CodexSession& s, std::string& out)
    {
        out += R"({"timestamp":")" + timestamp(s.clockMs) + R"(","type":"session_meta","payload":{"id":")" + uuid() +
               R"(","timestamp":")" + timestamp(s.clockMs) + R"(","cwd":")" + s.cwd +
               R"(","originator":"codex_cli_rs","cli_version":"0.46.0","instructions":")" +
               std::string(text(logSize(200, 4000))) +
               R"(","git":{"branch":"main"}}})"
               "\n";
    }

    /// One Codex turn: turn_context, messages, tool calls and outputs, token counts.
    void codexTurn(CodexSession& s, std::string& out, std::size_t& lines)
    {
        const std::string ts = timestamp(s.clockMs);
        out += R"({"timestamp":")" + ts + R"(","type":"turn_context","payload":{"cwd":")" + s.cwd +
               R"(","approval_policy":"on-request","sandbox_policy":{"mode":"workspace-write"},"model":")" + s.model +
               R"(","effort":"medium","summary":"auto"}})"
               "\n";
        out +=
            R"({"timestamp":")" + ts +
            R"(","type":"response_item","payload":{"type":"message","role":"user","content":[{"type":"input_text","text":")" +
            std::string(text(logSize(40, 2000))) +
            R"("}]}})"
            "\n";
        out += R"({"timestamp":")" + ts + R"(","type":"event_msg","payload":{"type":"user_message","message":")" +
               std::string(text(logSize(40, 500))) +
               R"(","images":[]}})"
               "\n";
        lines += 3;
        if (s.first) {
            out +=
                R"({"timestamp":")" + ts +
                R"(","type":"event_msg","payload":{"type":"token_count","info":null,"rate_limits":{"primary":{"used_percent":3.0,"window_minutes":300}}}})"
                "\n";
            ++lines;
            s.first = false;
        }
        const int calls = 1 + int(m_rng() % 10);
        std::int64_t totalIn = 0;
        for (int c = 0; c < calls; ++c) {
            s.clockMs += 500 + std::int64_t(m_rng() % 8000);
            const std::string t = timestamp(s.clockMs);
            out +=
                R"({"timestamp":")" + t +
                R"(","type":"response_item","payload":{"type":"reasoning","summary":[{"type":"summary_text","text":")" +
                std::string(text(logSize(50, 800))) + R"("}],"encrypted_content":"gAAAAB)" + uuid() + uuid() +
                R"("}})"
                "\n";
            out +=
                R"({"timestamp":")" + t +
                R"(","type":"response_item","payload":{"type":"function_call","name":"shell","arguments":"{\"command\":[\"bash\",\"-lc\",\"rg -n foo\"]}","call_id":"call_)" +
                uuid().substr(0, 24) +
                R"("}})"
                "\n";
            const std::size_t size = chance(0.02) ? logSize(10000, 80000) : logSize(80, 2500);
            out +=
                R"({"timestamp":")" + t +
                R"(","type":"response_item","payload":{"type":"function_call_output","call_id":"call_1","output":"{\"output\":\")" +
                std::string(text(size)) +
                R"(\",\"metadata\":{\"exit_code\":0}}"}})"
                "\n";
            const std::int64_t input = std::int64_t(logSize(2000, 120000));
            const std::int64_t cached = input * std::int64_t(m_rng() % 90) / 100;
            const std::int64_t output = std::int64_t(logSize(10, 3000));
            totalIn += input;
            out +=
                R"({"timestamp":")" + t +
                R"(","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":)" +
                std::to_string(totalIn) +
                R"(,"cached_input_tokens":0,"output_tokens":0,"reasoning_output_tokens":0,"total_tokens":0},"last_token_usage":{"input_tokens":)" +
                std::to_string(input) + R"(,"cached_input_tokens":)" + std::to_string(cached) + R"(,"output_tokens":)" +
                std::to_string(output) + R"(,"reasoning_output_tokens":0,"total_tokens":)" +
                std::to_string(input + output) +
                R"(},"model_context_window":272000},"rate_limits":{"primary":{"used_percent":12.0,"window_minutes":300,"resets_in_seconds":9000}}}})"
                "\n";
            lines += 4;
        }
        out += R"({"timestamp":")" + timestamp(s.clockMs) +
               R"(","type":"event_msg","payload":{"type":"agent_message","message":")" +
               std::string(text(logSize(40, 1500))) +
               R"("}})"
               "\n";
        ++lines;
        s.clockMs += 5000 + std::int64_t(m_rng() % 60000);
    }

private:
    std::mt19937_64 m_rng;
    std::string m_pool;
};

} // namespace tallyvue::bench
