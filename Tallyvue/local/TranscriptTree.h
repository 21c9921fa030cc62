// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tallyvue::detail {

/// One transcript file found in a tree. Its path lives in the listing's arena.
struct ListedFile
{
    std::uint32_t pathOffset = 0;
    std::uint32_t pathLength = 0;
    std::uint32_t parentNameOffset = 0; ///< within the path: the containing folder's name
    std::uint32_t parentNameLength = 0;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

struct Listing
{
    std::vector<ListedFile> files;
    std::string paths;

    std::string_view path(const ListedFile& f) const
    {
        return std::string_view(paths).substr(f.pathOffset, f.pathLength);
    }
    std::string_view parentName(const ListedFile& f) const
    {
        return path(f).substr(f.parentNameOffset, f.parentNameLength);
    }
    void clear()
    {
        files.clear();
        paths.clear();
    }
};

/**
 * Lists every "*.jsonl" regular file below a root, depth first with names in byte order, so
 * that "the first file that produced an id" does not depend on the file system. Names that
 * begin with a dot are skipped with everything below them; links to folders are not
 * followed. Every file is looked at on every listing (appends change only its size), but a
 * folder whose own change time has stayed put since the last listing is not read again.
 */
class TranscriptTree
{
public:
    /// Appends the root's files; false when the root cannot be listed.
    bool list(const std::string& root, Listing& out);
    /// Forgets folders that the listings since the last call did not reach.
    void endScan();

private:
    struct Entry
    {
        std::string name;
        unsigned char type = 0;
    };
    struct Folder
    {
        std::int64_t mtimeNs = 0;
        std::int64_t ctimeNs = 0;
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        bool trusted = false;
        bool reached = false;
        std::vector<Entry> entries;
    };

    void listFolder(int dirFd, std::string& path, int depth, Listing& out);
    const std::vector<Entry>& entriesOf(int dirFd, const std::string& path);

    std::unordered_map<std::string, Folder> m_folders;
};

} // namespace tallyvue::detail
