// SPDX-License-Identifier: MIT
#include "TranscriptFixtures.h"

#include "local/TranscriptReader.h"

#include <sys/mman.h>
#include <unistd.h>

using namespace tallyvue;
using namespace tallyvue::detail;
using namespace tallyvue::test;

namespace {

/// A file in memory with the given bytes.
struct MemFile
{
    explicit MemFile(const std::string& bytes) : fd(memfd_create("transcript", 0))
    {
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    ~MemFile() { ::close(fd); }
    int fd;
};

ReadResult readAll(const std::string& bytes, std::size_t chunk, std::size_t maxLine, ReadRange range = {})
{
    MemFile file(bytes);
    if (range.end == 0)
        range.end = std::int64_t(bytes.size());
    TranscriptReader reader(chunk, maxLine);
    return reader.read(file.fd, TranscriptKind::Claude, range, InternedString("folder"));
}

} // namespace

// A line over the limit is skipped, never held, and the lines after it still count; one
// still open at the end leaves the reader skipping, and the next read goes on from there.
// Lines that straddle chunks are read whole.
TEST(TranscriptReader, SkipsOverlongLines)
{
    const std::string huge = claudeLine({.id = "big", .model = std::string(5000, 'x')});
    const std::string before = claudeLine({.id = "one"});
    const std::string after = claudeLine({.id = "two"});
    for (const std::size_t chunk : {64u, 512u, 8192u}) {
        SCOPED_TRACE(chunk);
        const ReadResult r = readAll(before + huge + after, chunk, 2000);
        EXPECT_TRUE(r.skippedLongLine);
        ASSERT_EQ(r.events.size(), 2u);
        EXPECT_EQ(r.id(r.events[1]), "two");

        // The overlong line has no line feed yet.
        const std::string open = before + huge.substr(0, 4000);
        const ReadResult first = readAll(open, chunk, 2000);
        EXPECT_TRUE(first.skipping);
        EXPECT_EQ(first.consumed, std::int64_t(open.size()));
        EXPECT_EQ(first.events.size(), 1u);

        const std::string done = open + huge.substr(4000) + after;
        const ReadResult second = readAll(done, chunk, 2000, {first.consumed, std::int64_t(done.size()), true});
        EXPECT_FALSE(second.skipping);
        EXPECT_EQ(second.consumed, std::int64_t(done.size()));
        ASSERT_EQ(second.events.size(), 1u);
        EXPECT_EQ(second.id(second.events[0]), "two");
    }
    // Under the limit, a line longer than the chunk is read and counted.
    const ReadResult fits = readAll(before + huge + after, 512, 1 << 20);
    EXPECT_FALSE(fits.skippedLongLine);
    EXPECT_EQ(fits.events.size(), 3u);

    // Streaming rows of one id keep one event: the most output, the later row on a tie.
    const ReadResult rows =
        readAll(claudeLine({.id = "a", .output = 90, .model = "first"}) +
                    claudeLine({.id = "a", .output = 90, .model = "second"}) + claudeLine({.id = "a", .output = 3}),
                64, 1 << 20);
    ASSERT_EQ(rows.events.size(), 1u);
    EXPECT_EQ(rows.events[0].event.model.text(), u"second");
}

// The vectorised search finds what a plain search finds, at every offset around its block edges.
TEST(MarkerSearch, AgreesWithPlainSearch)
{
    for (const TranscriptKind kind : {TranscriptKind::Claude, TranscriptKind::Codex}) {
        const std::string marker(transcriptMarker(kind));
        const MarkerSearch search(marker);
        for (std::size_t size : {0u, 5u, 17u, 18u, 40u, 63u, 64u, 100u, 257u}) {
            for (std::size_t at = 0; at + marker.size() <= size; at += 3) {
                std::string text(size, 'a');
                for (std::size_t i = 0; i < size; ++i)
                    text[i] = "\"type:asiton pylad"[(i * 7) % 18]; // near misses everywhere
                text.replace(at, marker.size(), marker);
                ASSERT_EQ(search.find(text), std::string_view(text).find(marker)) << size << " " << at;
                text[at + marker.size() - 1] = 'x';
                ASSERT_EQ(search.find(text), std::string_view(text).find(marker)) << size << " " << at;
            }
        }
    }
}
