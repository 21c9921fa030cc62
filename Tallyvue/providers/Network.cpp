// SPDX-License-Identifier: MIT
#include "providers/Network.h"

#include "model/Log.h"
#include "providers/ProviderSupport.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <qcoro/qcorosignal.h>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

std::chrono::milliseconds g_transferTimeout = detail::kDefaultTransferTimeout;
std::chrono::milliseconds g_requestDeadline = detail::kDefaultRequestDeadline;

struct Origin
{
    const char* variable;
    QString compiledIn;
};

Origin originOf(Service service)
{
    switch (service) {
    case Service::Claude: return {"TALLYVUE_CLAUDE_API", u"https://api.anthropic.com"_s};
    case Service::ChatGPT: return {"TALLYVUE_CHATGPT_API", u"https://chatgpt.com"_s};
    case Service::Copilot: return {"TALLYVUE_COPILOT_API", u"https://api.github.com"_s};
    }
    return {"", {}};
}

bool isLoopbackHost(const QString& host)
{
    if (host.compare(u"localhost"_s, Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

/// Why an override origin is refused, or nothing when it is acceptable.
std::optional<QString> refusal(const QUrl& origin)
{
    if (!origin.isValid() || origin.host().isEmpty())
        return u"it is not a URL with a host"_s;
    if (!origin.userInfo().isEmpty() || origin.hasQuery() || origin.hasFragment() ||
        !(origin.path().isEmpty() || origin.path() == u"/"))
        return u"it must be an origin only (scheme, host and port)"_s;
    if (origin.scheme() == u"https")
        return std::nullopt;
    if (origin.scheme() == u"http" && isLoopbackHost(origin.host()))
        return std::nullopt;
    return u"only https://, or http:// on a loopback address, may carry a token"_s;
}

void deleteLaterDeleter(QObject* object)
{
    if (object)
        object->deleteLater();
}

// Qt turns many statuses into error codes of its own (400 and 418 into protocol errors, 407
// into a proxy error); once a status line was read, those are still the server's answer. Only
// the network-layer codes (below 100: refused, reset, timed out, TLS, refused redirect) mean the
// transfer itself failed, even when a status arrived before the body broke off.
bool transferFailed(bool hasStatus, QNetworkReply::NetworkError error)
{
    if (error == QNetworkReply::NoError)
        return false;
    return !hasStatus || error < QNetworkReply::ProxyConnectionRefusedError;
}

bool isHeaderSafe(const QByteArray& bytes)
{
    return !bytes.contains('\r') && !bytes.contains('\n') && !bytes.contains('\0');
}

QString tooLargeText()
{
    return u"The response is larger than %1 MiB."_s.arg(detail::kMaxBodyBytes / (1024 * 1024));
}

} // namespace

QNetworkAccessManager& sharedNetworkAccessManager()
{
    // Owned by the application object so it goes away before Qt's own teardown.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    return *manager;
}

std::optional<QUrl> serviceEndpoint(Service service, const QString& path)
{
    const Origin origin = originOf(service);
    const QString override = qEnvironmentVariable(origin.variable);
    QUrl url;
    if (override.isEmpty()) {
        url = QUrl(origin.compiledIn + path, QUrl::StrictMode);
    } else {
        url = QUrl(override, QUrl::StrictMode);
        if (const auto why = refusal(url)) {
            const QString shown = url.isValid() ? url.toDisplayString(QUrl::RemoveUserInfo) : override;
            log(QString::fromLatin1(origin.variable) + u" refused (\""_s + shown + u"\"): "_s + *why);
            return std::nullopt;
        }
        url.setPath(path, QUrl::StrictMode);
    }
    if (!url.isValid())
        return std::nullopt;
    return url;
}

QCoro::Task<ServiceResult<HttpReply>> httpGet(QUrl url, QList<QPair<QByteArray, QByteArray>> headers)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(int(g_transferTimeout.count()));
    // A redirect elsewhere would hand the token to another host.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    for (const auto& [name, value] : headers) {
        if (!isHeaderSafe(name) || !isHeaderSafe(value))
            co_return UsageServiceError::networkError(u"A request header holds a line break; nothing was sent."_s);
        request.setRawHeader(name, value);
    }

    const std::unique_ptr<QNetworkReply, void (*)(QObject*)> reply(sharedNetworkAccessManager().get(request),
                                                                   deleteLaterDeleter);
    QByteArray body;
    bool tooLarge = false;
    // Connections die with `context`, before the locals they point at.
    const QObject context;
    const auto refuse = [&] {
        tooLarge = true;
        body.clear();
        reply->abort();
    };
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &context, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > detail::kMaxBodyBytes)
            refuse();
    });
    // The transfer timeout restarts with every byte; a body sent a byte at a time would keep a
    // request going for minutes, so the whole request also has a deadline.
    bool timedOut = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &context, [&] {
        timedOut = true;
        reply->abort();
    });
    deadline.start(g_requestDeadline);
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &context, [&] {
        if (tooLarge)
            return;
        const QByteArray chunk = reply->read(detail::kMaxBodyBytes + 1 - body.size());
        body += chunk;
        if (body.size() > detail::kMaxBodyBytes || reply->bytesAvailable() > 0)
            refuse();
    });
    if (!reply->isFinished())
        co_await qCoro(reply.get(), &QNetworkReply::finished);

    deadline.stop();
    if (timedOut)
        co_return UsageServiceError::networkError(u"The request timed out."_s);
    if (tooLarge)
        co_return UsageServiceError::networkError(tooLargeText());
    if (reply->bytesAvailable() > 0) {
        body += reply->read(detail::kMaxBodyBytes + 1 - body.size());
        if (body.size() > detail::kMaxBodyBytes || reply->bytesAvailable() > 0)
            co_return UsageServiceError::networkError(tooLargeText());
    }

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply->error();
    if (transferFailed(status > 0, error)) {
        // The transfer timeout ends a request as a cancellation; nothing else here cancels.
        if (error == QNetworkReply::OperationCanceledError)
            co_return UsageServiceError::networkError(u"The request timed out."_s);
        co_return UsageServiceError::networkError(reply->errorString());
    }
    co_return HttpReply{std::max(status, 0), std::move(body),
                        parseRetryAfter(reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc())};
}

QString bodyText(const QByteArray& body)
{
    return decodeUtf8Strict(body).value_or(u"(empty)"_s);
}

std::optional<qint64> parseRetryAfter(const QByteArray& value, const QDateTime& now)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qint64 seconds = text.toLongLong(&ok);
    if (ok)
        return seconds >= 0 ? std::optional(seconds) : std::nullopt;
    const QDateTime date = QDateTime::fromString(QString::fromLatin1(text), Qt::RFC2822Date);
    if (!date.isValid())
        return std::nullopt;
    return std::max<qint64>(0, now.secsTo(date));
}

UsageServiceError unexpectedReply(const HttpReply& reply)
{
    if (reply.status == 0)
        return UsageServiceError::invalidResponse(0, u"Not an HTTP response"_s);
    UsageServiceError error = UsageServiceError::invalidResponse(reply.status, bodyText(reply.body));
    error.retryAfterSeconds = reply.retryAfterSeconds;
    return error;
}

namespace detail {

void setTransferTimeout(std::chrono::milliseconds timeout)
{
    g_transferTimeout = timeout;
}

void setRequestDeadline(std::chrono::milliseconds deadline)
{
    g_requestDeadline = deadline;
}

} // namespace detail
} // namespace tallyvue
