// SPDX-License-Identifier: MIT
#pragma once

#include <QLockFile>
#include <QString>

namespace tallyvue {

/**
 * Holds "<path>.lock" for its lifetime, so that the processes sharing `path` (the app and any
 * number of tallyvue-cli runs) read, change and rewrite it one after another instead of
 * overwriting each other's changes. A lock left by a process that died, or held far longer than
 * any rewrite takes, is taken over.
 */
class FileLock
{
public:
    explicit FileLock(const QString& path);
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    /// False when the lock could not be had; the reason was logged and the caller goes on
    /// without it, as a file that cannot be locked cannot be rewritten safely either way.
    bool isLocked() const { return m_lock.isLocked(); }

private:
    QLockFile m_lock;
};

} // namespace tallyvue
