// SPDX-License-Identifier: MIT
#include "local/TranscriptTree.h"

#include <algorithm>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallyvue::detail {
namespace {

constexpr int kMaxDepth = 64;
// File times tick coarsely: a folder changed this recently may change again without its
// time moving, so its names are read again next time.
constexpr std::int64_t kSettledNs = 2'000'000'000;

bool isTranscriptName(std::string_view name)
{
    constexpr std::string_view suffix = ".jsonl";
    return name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
}

std::int64_t nanoseconds(const timespec& t)
{
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::int64_t wallClockNs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

} // namespace

const std::vector<TranscriptTree::Entry>& TranscriptTree::entriesOf(int dirFd, const std::string& path)
{
    Folder& folder = m_folders[path];
    folder.reached = true;
    struct stat st
    {
    };
    const bool statted = fstat(dirFd, &st) == 0;
    if (statted && folder.trusted && folder.device == std::uint64_t(st.st_dev) &&
        folder.inode == std::uint64_t(st.st_ino) && folder.mtimeNs == nanoseconds(st.st_mtim) &&
        folder.ctimeNs == nanoseconds(st.st_ctim))
        return folder.entries;

    folder.entries.clear();
    folder.trusted = false;
    const int readFd = dup(dirFd);
    DIR* dir = readFd >= 0 ? fdopendir(readFd) : nullptr;
    if (!dir) {
        if (readFd >= 0)
            ::close(readFd);
        return folder.entries;
    }
    while (const dirent* ent = readdir(dir)) {
        if (ent->d_name[0] == '.')
            continue; // hidden, and "." / ".."
        folder.entries.push_back({ent->d_name, ent->d_type});
    }
    closedir(dir);
    std::sort(folder.entries.begin(), folder.entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    if (statted) {
        folder.device = std::uint64_t(st.st_dev);
        folder.inode = std::uint64_t(st.st_ino);
        folder.mtimeNs = nanoseconds(st.st_mtim);
        folder.ctimeNs = nanoseconds(st.st_ctim);
        const std::int64_t settled = wallClockNs() - kSettledNs;
        folder.trusted = folder.mtimeNs < settled && folder.ctimeNs < settled;
    }
    return folder.entries;
}

void TranscriptTree::listFolder(int dirFd, std::string& path, int depth, Listing& out)
{
    const std::vector<Entry>& entries = entriesOf(dirFd, path);
    const auto parentOffset = std::uint32_t(path.rfind('/') + 1);
    const auto parentLength = std::uint32_t(path.size() - parentOffset);
    const std::size_t pathLength = path.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        // Recursion below may add folders to the map but never moves this folder's entries.
        const Entry& entry = entries[i];
        unsigned char type = entry.type;
        struct stat st
        {
        };
        bool statted = false;
        if (type == DT_UNKNOWN) {
            if (fstatat(dirFd, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            statted = true;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
        }
        if (type == DT_DIR) {
            if (depth >= kMaxDepth)
                continue;
            const int child = openat(dirFd, entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
            if (child < 0)
                continue;
            path.append(1, '/').append(entry.name);
            listFolder(child, path, depth + 1, out);
            path.resize(pathLength);
            ::close(child);
            continue;
        }
        if ((type != DT_REG && type != DT_LNK) || !isTranscriptName(entry.name))
            continue;
        // Follow a link to a file; a link to a folder is left alone (it may loop).
        if ((!statted || type == DT_LNK) && fstatat(dirFd, entry.name.c_str(), &st, 0) != 0)
            continue;
        if (!S_ISREG(st.st_mode))
            continue;
        ListedFile file;
        file.pathOffset = std::uint32_t(out.paths.size());
        out.paths.append(path).append(1, '/').append(entry.name);
        file.pathLength = std::uint32_t(out.paths.size() - file.pathOffset);
        file.parentNameOffset = parentOffset;
        file.parentNameLength = parentLength;
        file.size = std::int64_t(st.st_size);
        file.mtimeNs = nanoseconds(st.st_mtim);
        file.device = std::uint64_t(st.st_dev);
        file.inode = std::uint64_t(st.st_ino);
        out.files.push_back(file);
    }
}

bool TranscriptTree::list(const std::string& root, Listing& out)
{
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string path = root;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    listFolder(fd, path, 0, out);
    ::close(fd);
    return true;
}

void TranscriptTree::endScan()
{
    for (auto it = m_folders.begin(); it != m_folders.end();) {
        if (!it->second.reached) {
            it = m_folders.erase(it);
        } else {
            it->second.reached = false;
            ++it;
        }
    }
}

} // namespace tallyvue::detail
