// SPDX-License-Identifier: MIT
#include "model/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tallyvue::safefile {
namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

/// What is at the path when it is not a regular file, as the messages say it.
QString kindOf(mode_t mode)
{
    if (S_ISLNK(mode))
        return u"it is a symbolic link"_s;
    if (S_ISDIR(mode))
        return u"it is a folder"_s;
    if (S_ISFIFO(mode))
        return u"it is a FIFO"_s;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return u"it is a device"_s;
    if (S_ISSOCK(mode))
        return u"it is a socket"_s;
    return u"it is not a regular file"_s;
}

QString sizeText(qint64 bytes)
{
    return bytes >= 1024 * 1024 ? QString::number(bytes / (1024 * 1024)) + u" MiB"_s
                                : QString::number(bytes) + u" bytes"_s;
}

class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

Result<QByteArray, ReadError> readRegularFile(const QString& path, qint64 maxBytes, Links links)
{
    const auto failed = [&path](const QString& why) {
        return ReadError{false, u"cannot read "_s + path + u": "_s + why, why};
    };
    const QByteArray native = QFile::encodeName(path);
    // Looked at before it is opened: opening a device can have effects of its own.
    struct stat info{};
    const int looked = links == Links::Refuse ? ::lstat(native.constData(), &info) : ::stat(native.constData(), &info);
    if (looked != 0) {
        if (errno == ENOENT)
            return ReadError{true, u"cannot read "_s + path + u": it does not exist"_s, u"it does not exist"_s};
        return failed(errnoText(errno));
    }
    if (!S_ISREG(info.st_mode))
        return failed(kindOf(info.st_mode));

    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (links == Links::Refuse ? O_NOFOLLOW : 0);
    const Descriptor fd(::open(native.constData(), flags));
    if (fd.get() < 0)
        return failed(errno == ELOOP ? u"it is a symbolic link"_s : errnoText(errno));
    if (::fstat(fd.get(), &info) != 0)
        return failed(errnoText(errno));
    if (!S_ISREG(info.st_mode)) // replaced between the look and the open
        return failed(kindOf(info.st_mode));
    if (info.st_size > maxBytes)
        return failed(u"it is larger than "_s + sizeText(maxBytes));

    QByteArray bytes(qsizetype(info.st_size) + 1, Qt::Uninitialized);
    qsizetype total = 0;
    for (;;) {
        if (total == bytes.size()) {
            if (total > maxBytes)
                return failed(u"it is larger than "_s + sizeText(maxBytes));
            bytes.resize(std::min<qsizetype>(qsizetype(maxBytes) + 1, total * 2 + 4096));
        }
        const ssize_t got = ::read(fd.get(), bytes.data() + total, std::size_t(bytes.size() - total));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return failed(errnoText(errno));
        }
        if (got == 0)
            break;
        total += got;
    }
    if (total > maxBytes)
        return failed(u"it is larger than "_s + sizeText(maxBytes));
    bytes.truncate(total);
    return bytes;
}

std::optional<QString> checkReplaceable(const QString& path)
{
    struct stat info{};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return errno == ENOENT ? std::nullopt : std::optional(errnoText(errno));
    if (!S_ISREG(info.st_mode))
        return kindOf(info.st_mode);
    if (info.st_uid != ::geteuid())
        return u"it belongs to another user"_s;
    return std::nullopt;
}

std::optional<QString> writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    const auto failed = [&path](const QString& why) -> QString { return u"cannot write "_s + path + u": "_s + why; };
    // QSaveFile would write through a link to its target: only a real file of ours is replaced.
    if (const auto why = checkReplaceable(path))
        return failed(*why);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    const auto cancel = [&](const QString& why) -> QString {
        file.cancelWriting();
        return failed(why);
    };
    // Set on the temporary file, so the replacement is private from its first byte on disk.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return cancel(file.errorString());
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 wrote = file.write(bytes.constData() + done, bytes.size() - done);
        if (wrote <= 0)
            return cancel(file.errorString());
        done += qsizetype(wrote);
    }
    // Qt 6.4's commit() does not notice every failed buffered write; flush() reports it.
    if (!file.flush() || file.error() != QFileDevice::NoError)
        return cancel(file.errorString());
    if (!file.commit())
        return failed(file.errorString());
    return std::nullopt;
}

std::optional<QString> makePrivateFolder(const QString& folder)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    QStringList missing;
    QString at = clean;
    while (!at.isEmpty() && at != u"/" && !QFileInfo(at).exists()) {
        missing.prepend(at);
        at = QFileInfo(at).path();
    }
    for (const QString& each : std::as_const(missing)) {
        const QByteArray native = QFile::encodeName(each);
        if (::mkdir(native.constData(), 0700) == 0)
            ::chmod(native.constData(), 0700); // mkdir's mode went through the umask
        else if (errno != EEXIST)
            return u"cannot create the folder "_s + each + u": "_s + errnoText(errno);
    }
    if (!QFileInfo(clean).isDir())
        return u"cannot create the folder "_s + clean + u": something else is in its place"_s;
    return std::nullopt;
}

void hardenProcess()
{
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    ::umask(::umask(077) | 077);
}

} // namespace tallyvue::safefile
