// SPDX-License-Identifier: MIT
#pragma once

#include "providers/UsageServiceError.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <optional>

class QNetworkAccessManager;

namespace tallyvue {

enum class Service { Claude, ChatGPT, Copilot };

/// The one QNetworkAccessManager of the process (main thread).
QNetworkAccessManager& sharedNetworkAccessManager();

/// The service's origin plus `path`. TALLYVUE_CLAUDE_API / _CHATGPT_API / _COPILOT_API replace
/// the origin for tests; an override that is not https, or http on a loopback address, is
/// refused (empty result) so a token never travels in clear text.
std::optional<QUrl> serviceEndpoint(Service service, const QString& path);

struct HttpReply
{
    int status = 0; ///< 0 when the answer was not HTTP
    QByteArray body;
    /// The answer's Retry-After, in seconds from now (a date is converted); none without one.
    std::optional<qint64> retryAfterSeconds;
};

/// Retry-After as seconds from `now`: delta seconds or an HTTP date; none when it is neither.
std::optional<qint64> parseRetryAfter(const QByteArray& value, const QDateTime& now);

/// GET with the given headers, a 20 s transfer timeout, a 30 s deadline for the whole request
/// (both fail as a NetworkError "The request timed out.") and bodies capped at 8 MiB.
/// Every answer with an HTTP status is delivered, whatever the status; a transport failure
/// (nothing answered, or the body broke off) or a larger body is a NetworkError.
QCoro::Task<ServiceResult<HttpReply>> httpGet(QUrl url, QList<QPair<QByteArray, QByteArray>> headers);

/// A body as the error texts show it: UTF-8, or "(empty)" when it is not valid UTF-8.
QString bodyText(const QByteArray& body);
/// The error for an answer the client does not accept: status 0 gives "Not an HTTP response",
/// any other status carries bodyText() of the body.
UsageServiceError unexpectedReply(const HttpReply& reply);

namespace detail {
inline constexpr qint64 kMaxBodyBytes = 8 * 1024 * 1024;
inline constexpr std::chrono::milliseconds kDefaultTransferTimeout{20'000};
inline constexpr std::chrono::milliseconds kDefaultRequestDeadline{30'000};
/// Tests shorten the transfer timeout instead of waiting 20 s.
void setTransferTimeout(std::chrono::milliseconds timeout);
/// Tests shorten the whole request's deadline instead of waiting 30 s.
void setRequestDeadline(std::chrono::milliseconds deadline);
} // namespace detail

} // namespace tallyvue
