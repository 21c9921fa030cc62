// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the transcript line rules through the chunked reader, and checks
// that the chunk size and a split into two reads never change what is read.
#include "local/TranscriptReader.h"

#include <cstdlib>
#include <string_view>

#include <sys/mman.h>
#include <unistd.h>

using namespace tallyvue;
using namespace tallyvue::detail;

namespace {

/// What a read found, in a form two reads can be compared by.
std::vector<std::int64_t> summary(const ReadResult& r)
{
    std::vector<std::int64_t> out{r.consumed, r.skipping};
    for (const ReadEvent& e : r.events)
        out.push_back(e.event.outputTokens ^ e.event.timestamp ^ e.event.inputTokens);
    return out;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const TranscriptKind kind = data[0] & 1 ? TranscriptKind::Codex : TranscriptKind::Claude;
    const std::size_t chunk = 64 + data[1] * 3;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);

    static const int fd = memfd_create("fuzz", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, bytes.data(), bytes.size(), 0) != ssize_t(bytes.size()))
        return 0;
    const auto end = std::int64_t(bytes.size());
    const InternedString folder("folder");

    TranscriptReader whole(1 << 20, 1 << 20);
    TranscriptReader chunked(chunk, 1 << 20);
    const ReadResult a = whole.read(fd, kind, {0, end, false}, folder);
    check(!a.skipping && summary(a) == summary(chunked.read(fd, kind, {0, end, false}, folder)));
    check(a.consumed <= end && (a.consumed == 0 || bytes[std::size_t(a.consumed - 1)] == '\n'));

    // A small line limit: reading on from where a read stopped ends where one read ends.
    TranscriptReader strict(chunk, 200);
    const ReadResult once = strict.read(fd, kind, {0, end, false}, folder);
    const std::int64_t cut = end / 2;
    const ReadResult first = strict.read(fd, kind, {0, cut, false}, folder);
    const ReadResult rest = strict.read(fd, kind, {first.consumed, end, first.skipping}, folder);
    check(rest.consumed == once.consumed && rest.skipping == once.skipping);
    check(once.consumed <= end);
    return 0;
}
