// SPDX-License-Identifier: MIT
#include "providers/UsageService.h"

#include "model/Log.h"
#include "providers/Network.h"
#include "providers/ProviderSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <qcoro/qcorotimer.h>

#include <chrono>
#include <memory>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

std::chrono::milliseconds g_keychainTimeout = detail::kDefaultKeychainTimeout;

/// The Secret Service stand-in for the keychain item "Claude Code-credentials".
const QStringList kKeychainQuery = {u"lookup"_s, u"service"_s, u"Claude Code-credentials"_s};

/// The keychain tool to run: TALLYVUE_KEYCHAIN_TOOL (tests), else secret-tool from PATH.
QString keychainTool()
{
    const QString override = qEnvironmentVariable("TALLYVUE_KEYCHAIN_TOOL");
    if (!override.isEmpty())
        return override;
    return QStandardPaths::findExecutable(u"secret-tool"_s);
}

/// Whether a D-Bus session bus can be reached at all; without one secret-tool only fails slowly.
bool sessionBusAvailable()
{
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (address.startsWith("disabled:"))
        return false;
    if (!address.isEmpty())
        return true;
    // systemd user sessions do not always export the variable; the bus then sits here.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + u"/bus"_s);
}

void deleteLaterDeleter(QObject* object)
{
    if (object)
        object->deleteLater();
}

/// The token of one candidate object: "accessToken", else "access_token"; an empty
/// "accessToken" string still counts as the object's answer.
QString tokenOf(const QJsonObject& object)
{
    const QJsonValue camel = object.value(u"accessToken"_s);
    if (camel.isString())
        return camel.toString();
    const QJsonValue snake = object.value(u"access_token"_s);
    return snake.isString() ? snake.toString() : QString();
}

} // namespace

namespace detail {
void setKeychainTimeout(std::chrono::milliseconds timeout)
{
    g_keychainTimeout = timeout;
}
} // namespace detail

namespace UsageService {

QString credentialsFilePath()
{
    const QString configDir = qEnvironmentVariable("CLAUDE_CONFIG_DIR");
    const QString base = configDir.isEmpty() ? QDir::homePath() + u"/.claude"_s : configDir;
    return QDir(base).filePath(u".credentials.json"_s);
}

ServiceResult<QString> extractAccessToken(const QByteArray& document, const QDateTime& now)
{
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(document, &parseError);
    if (parseError.error == QJsonParseError::NoError && json.isObject()) {
        const QJsonObject top = json.object();
        QList<QJsonObject> candidates{top};
        for (auto it = top.begin(); it != top.end(); ++it) {
            if (it.value().isObject())
                candidates.append(it.value().toObject());
        }
        for (const QJsonObject& candidate : std::as_const(candidates)) {
            const QString token = tokenOf(candidate);
            if (token.isEmpty())
                continue;
            const QJsonValue expiresAt = candidate.value(u"expiresAt"_s);
            // Milliseconds since the epoch; equal to now is still valid.
            if (expiresAt.isDouble() && expiresAt.toDouble() < double(now.toMSecsSinceEpoch()))
                return UsageServiceError::tokenExpired(u"Claude Code token has expired. Run 'claude' to refresh it."_s);
            return token;
        }
        return UsageServiceError::of(UsageServiceError::Kind::TokenParseError);
    }

    // Not a JSON object: perhaps the bare token itself.
    const std::optional<QString> text = decodeUtf8Strict(document);
    if (!text)
        return UsageServiceError::of(UsageServiceError::Kind::TokenParseError);
    const QString token = text->trimmed();
    if (token.isEmpty() || token.startsWith(u'{'))
        return UsageServiceError::of(UsageServiceError::Kind::TokenParseError);
    return token;
}

QCoro::Task<ServiceResult<QString>> runSecurityTool(QStringList arguments)
{
    const QString program = keychainTool();
    if (program.isEmpty())
        co_return UsageServiceError::keychainUnavailable(u"secret-tool is not installed"_s);
    if (!sessionBusAvailable())
        co_return UsageServiceError::keychainUnavailable(u"no D-Bus session bus"_s);

    const std::unique_ptr<QProcess, void (*)(QObject*)> process(new QProcess, deleteLaterDeleter);
    process->setProgram(program);
    process->setArguments(arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    // Its diagnostics are never read; a pipe nobody drains could stall it.
    process->setStandardErrorFile(QProcess::nullDevice());

    // One timer ends every wait: the deadline, or at once when the process ends or cannot start.
    QTimer wake;
    wake.setSingleShot(true);
    QObject::connect(process.get(), &QProcess::finished, &wake, [&wake] { wake.start(0); });
    QObject::connect(process.get(), &QProcess::errorOccurred, &wake, [&wake](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            wake.start(0);
    });
    wake.start(g_keychainTimeout);
    process->start(QIODevice::ReadOnly);
    co_await wake;

    if (process->state() != QProcess::NotRunning) {
        // A locked keyring may wait for an unlock prompt forever; the file is the fallback.
        process->kill();
        wake.start(std::chrono::seconds(1));
        co_await wake;
        co_return UsageServiceError::keychainUnavailable(
            u"secret-tool did not answer within %1 ms"_s.arg(g_keychainTimeout.count()));
    }
    if (process->error() == QProcess::FailedToStart)
        co_return UsageServiceError::keychainUnavailable(process->errorString());
    if (process->exitStatus() != QProcess::NormalExit)
        co_return UsageServiceError::keychainUnavailable(u"secret-tool crashed"_s);
    if (process->exitCode() != 0)
        co_return UsageServiceError::keychainError(process->exitCode());
    co_return QString::fromUtf8(process->readAllStandardOutput());
}

QCoro::Task<ServiceResult<QString>> readKeychainToken()
{
    const ServiceResult<QString> output = co_await runSecurityTool(kKeychainQuery);
    if (!output)
        co_return output.error();
    const QString secret = output->trimmed();
    if (secret.isEmpty())
        co_return UsageServiceError::of(UsageServiceError::Kind::KeychainNotFound);
    co_return extractAccessToken(secret.toUtf8(), QDateTime::currentDateTimeUtc());
}

QCoro::Task<ServiceResult<QString>> readAccessToken()
{
    const QString fromEnvironment = qEnvironmentVariable("CLAUDE_CODE_OAUTH_TOKEN");
    if (!fromEnvironment.isEmpty()) {
        log(u"Using token from env var"_s);
        co_return fromEnvironment;
    }

    const ServiceResult<QString> fromKeychain = co_await readKeychainToken();
    if (fromKeychain) {
        log(u"Read token from Claude Keychain"_s);
        co_return fromKeychain.value();
    }
    log(u"Claude Keychain read failed: "_s + fromKeychain.error().debugDescription());

    const auto notFound = UsageServiceError::of(UsageServiceError::Kind::KeychainNotFound);
    const ServiceResult<QByteArray> document = readCredentialFile(credentialsFilePath());
    if (!document)
        co_return document.error().kind == UsageServiceError::Kind::ConfigFileNotFound ? notFound : document.error();
    const ServiceResult<QString> fromFile = extractAccessToken(*document, QDateTime::currentDateTimeUtc());
    if (!fromFile)
        co_return notFound;
    log(u"Read token from credentials file"_s);
    co_return fromFile.value();
}

QCoro::Task<ServiceResult<UsageResponse>> fetchUsage(QString token)
{
    const std::optional<QUrl> url = serviceEndpoint(Service::Claude, u"/api/oauth/usage"_s);
    if (!url)
        co_return UsageServiceError::of(UsageServiceError::Kind::InvalidURL);
    // No Accept header: the service is asked exactly as Claude Code asks it.
    QList<QPair<QByteArray, QByteArray>> headers = {
        {"Authorization", "Bearer " + token.toUtf8()},
        {"Content-Type", "application/json"},
        {"anthropic-beta", "oauth-2025-04-20"},
        {"User-Agent", "claude-code/1.0.0"},
    };
    const ServiceResult<HttpReply> reply = co_await httpGet(*url, std::move(headers));
    if (!reply)
        co_return reply.error();
    if (const std::optional<QString> text = decodeUtf8Strict(reply->body))
        log(u"Raw API Response:\n"_s + *text);
    if (reply->status != 200)
        co_return unexpectedReply(*reply);
    Result<UsageResponse, QString> decoded = decodeUsageResponse(reply->body);
    if (!decoded)
        co_return UsageServiceError::decodingFailed(decoded.error());
    co_return std::move(decoded).value();
}

} // namespace UsageService
} // namespace tallyvue
