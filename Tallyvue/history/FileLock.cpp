// SPDX-License-Identifier: MIT
#include "history/FileLock.h"

#include "model/Log.h"

#include <QDeadlineTimer>
#include <QThread>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

// A rewrite of the largest history takes tens of milliseconds; a lock ten seconds old belongs
// to a process that hangs. Waiting a little longer than that always ends with the lock.
constexpr int kStaleLockMs = 10'000;
constexpr int kWaitMs = 12'000;
constexpr int kRetryMs = 10;

QString reason(QLockFile::LockError error)
{
    switch (error) {
    case QLockFile::NoError: return {};
    case QLockFile::LockFailedError: return u"another process holds it"_s;
    case QLockFile::PermissionError: return u"permission denied"_s;
    case QLockFile::UnknownError: break;
    }
    return u"unknown error"_s;
}

} // namespace

FileLock::FileLock(const QString& path) : m_lock(path + u".lock"_s)
{
    m_lock.setStaleLockTime(kStaleLockMs);
    // QLockFile's own wait doubles its pauses up to seconds; with several writers queued, a
    // short steady retry takes the lock as soon as it is free.
    const QDeadlineTimer deadline(kWaitMs);
    while (!m_lock.tryLock(0)) {
        if (m_lock.error() != QLockFile::LockFailedError || deadline.hasExpired()) {
            log(u"Could not lock "_s + path + u" ("_s + reason(m_lock.error()) + u"); writing without the lock"_s);
            return;
        }
        QThread::msleep(kRetryMs);
    }
}

} // namespace tallyvue
