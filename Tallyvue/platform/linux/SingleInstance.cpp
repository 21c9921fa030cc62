// SPDX-License-Identifier: MIT
#include "platform/linux/SingleInstance.h"

#include "alerts/AppRoutes.h"
#include "model/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

constexpr QByteArrayView kRequest = "show\n";
constexpr int kConnectTimeoutMs = 1000;
constexpr int kAnswerTimeoutMs = 2000;
constexpr int kLockTimeoutMs = 5000;
constexpr qint64 kMaxLine = 4096;

/// The running copy's executable path, "?" when it did not say; none when nobody listens.
std::optional<QString> askRunningCopy(const QString& path)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return std::nullopt;
    socket.write(kRequest.data(), kRequest.size());
    socket.flush();
    QByteArray answer;
    while (!answer.contains('\n') && answer.size() < kMaxLine && socket.waitForReadyRead(kAnswerTimeoutMs))
        answer += socket.readAll();
    const QString running = QString::fromUtf8(answer.left(answer.indexOf('\n')));
    return running.isEmpty() ? u"?"_s : running;
}

/// XDG_RUNTIME_DIR when it exists; it belongs to the user alone.
std::optional<QString> runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QDir(runtime).exists())
        return std::nullopt;
    return runtime;
}

QString fallbackFolder()
{
    return QDir::tempPath() + u"/tallyvue-"_s + QString::number(::getuid());
}

/// Without XDG_RUNTIME_DIR the socket lives in a folder of ours under the shared temporary
/// folder, where anyone could have put something first: the folder is used only when it is a
/// real directory of this user that nobody else may enter. Why not, when it is not.
std::optional<QString> refusePrivateFolder(const QString& folder)
{
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), 0700) != 0) {
        const int error = errno;
        if (error != EEXIST)
            return u"cannot create it: "_s + QString::fromLocal8Bit(std::strerror(error));
    }
    struct stat info = {};
    if (::lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return u"it is not a folder"_s;
    if (info.st_uid != ::getuid())
        return u"it belongs to another user"_s;
    // Whatever others could put inside (a socket that answers for us) cannot be trusted.
    if ((info.st_mode & 077) != 0)
        return u"other users have access to it"_s;
    return std::nullopt;
}

} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent), m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection())
            answer(socket);
    });
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::socketPath()
{
    if (const auto runtime = runtimeFolder())
        return *runtime + u"/tallyvue-"_s + QString::number(::getuid()) + u".sock"_s;
    return fallbackFolder() + u"/instance.sock"_s;
}

bool SingleInstance::isRunning()
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    const bool running = socket.waitForConnected(kConnectTimeoutMs);
    socket.abort();
    return running;
}

bool SingleInstance::claim()
{
    const QString path = socketPath();
    const QString own = QCoreApplication::applicationFilePath();
    if (!runtimeFolder()) {
        if (const auto why = refusePrivateFolder(fallbackFolder())) {
            // Better two copies than none: another user must not be able to keep us from starting.
            log(u"Not checking for other copies: "_s + fallbackFolder() + u" is unsafe ("_s + *why + u')');
            return true;
        }
    }
    // Two copies started together must not both find the socket free and both listen.
    QLockFile lock(path + u".lock"_s);
    if (!lock.tryLock(kLockTimeoutMs))
        log(u"Could not lock "_s + lock.fileName() + u"; a copy started at the same moment may run too"_s);

    if (const auto running = askRunningCopy(path)) {
        log(u"Another instance is running at "_s + *running + u"; quitting this one ("_s + own + u')');
        return false;
    }
    // Nobody answered: whatever is at the path was left by a copy that crashed.
    QLocalServer::removeServer(path);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path))
        log(u"Could not listen for other copies at "_s + path + u": "_s + m_server->errorString());
    return true;
}

void SingleInstance::answer(QLocalSocket* socket)
{
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kAnswerTimeoutMs, socket, &QLocalSocket::abort); // a silent peer must not linger
    connect(socket, &QLocalSocket::readyRead, this, [socket] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > kMaxLine)
                socket->abort();
            return;
        }
        const QByteArray request = socket->readLine(kMaxLine);
        if (request != kRequest.toByteArray()) {
            socket->abort();
            return;
        }
        socket->write(QCoreApplication::applicationFilePath().toUtf8() + '\n');
        socket->flush();
        socket->disconnectFromServer();
        AppRoutes::instance().bringForward();
    });
}

} // namespace tallyvue
