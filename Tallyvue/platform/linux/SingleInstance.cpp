// SPDX-License-Identifier: MIT
#include "platform/linux/SingleInstance.h"

#include "alerts/AppRoutes.h"
#include "model/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>

#include <optional>

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
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QDir(dir).exists())
        dir = QDir::tempPath();
    return dir + u"/tallyvue-"_s + QString::number(::getuid()) + u".sock"_s;
}

bool SingleInstance::claim()
{
    const QString path = socketPath();
    const QString own = QCoreApplication::applicationFilePath();
    // Two copies started together must not both find the socket free and both listen.
    QLockFile lock(path + u".lock"_s);
    lock.tryLock(kLockTimeoutMs);

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
