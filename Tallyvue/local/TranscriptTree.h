// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tallyvue::detail {

/// One transcript file found in a tree.
struct ListedFile
{
    std::string path;
    std::size_t parentNameOffset = 0; ///< the containing folder's name is path[offset, nameOffset - 1)
    std::size_t nameOffset = 0;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

/**
 * Lists every "*.jsonl" regular file under `root`, depth first with names in byte order, so
 * that "the first file that produced an id" does not depend on the file system. Names that
 * begin with a dot are skipped with everything below them; links to folders are not
 * followed. Returns false when the root itself cannot be listed.
 */
bool listTranscripts(const std::string& root, std::vector<ListedFile>& out);

} // namespace tallyvue::detail
