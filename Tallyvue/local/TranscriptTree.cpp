// SPDX-License-Identifier: MIT
#include "local/TranscriptTree.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallyvue::detail {
namespace {

constexpr int kMaxDepth = 64;

struct Entry
{
    std::string name;
    unsigned char type = DT_UNKNOWN;
};

bool isTranscriptName(std::string_view name)
{
    constexpr std::string_view suffix = ".jsonl";
    return name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
}

void listFolder(int dirFd, std::string& path, int depth, std::vector<ListedFile>& out)
{
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    std::vector<Entry> entries;
    while (const dirent* ent = readdir(dir)) {
        if (ent->d_name[0] == '.')
            continue; // hidden, and "." / ".."
        entries.push_back({ent->d_name, ent->d_type});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });

    const std::size_t parentOffset = path.rfind('/') + 1;
    const std::size_t pathLength = path.size();
    for (const Entry& entry : entries) {
        unsigned char type = entry.type;
        struct stat st
        {
        };
        bool statted = false;
        if (type == DT_UNKNOWN) {
            if (fstatat(dirfd(dir), entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            statted = true;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
        }
        if (type == DT_DIR) {
            if (depth >= kMaxDepth)
                continue;
            const int child = openat(dirfd(dir), entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
            if (child < 0)
                continue;
            path.append(1, '/').append(entry.name);
            listFolder(child, path, depth + 1, out);
            path.resize(pathLength);
            continue;
        }
        if ((type != DT_REG && type != DT_LNK) || !isTranscriptName(entry.name))
            continue;
        // Follow a link to a file; a link to a folder is left alone (it may loop).
        if ((!statted || type == DT_LNK) && fstatat(dirfd(dir), entry.name.c_str(), &st, 0) != 0)
            continue;
        if (!S_ISREG(st.st_mode))
            continue;
        ListedFile file;
        file.path.reserve(pathLength + 1 + entry.name.size());
        file.path.append(path).append(1, '/').append(entry.name);
        file.parentNameOffset = parentOffset;
        file.nameOffset = pathLength + 1;
        file.size = std::int64_t(st.st_size);
        file.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
        file.device = std::uint64_t(st.st_dev);
        file.inode = std::uint64_t(st.st_ino);
        out.push_back(std::move(file));
    }
    closedir(dir);
}

} // namespace

bool listTranscripts(const std::string& root, std::vector<ListedFile>& out)
{
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string path = root;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    listFolder(fd, path, 0, out);
    return true;
}

} // namespace tallyvue::detail
