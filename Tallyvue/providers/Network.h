// SPDX-License-Identifier: MIT
#pragma once

#include "providers/UsageServiceError.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>

#include <qcoro/qcorotask.h>

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
};

/// GET with the given headers, a 20 s transfer timeout and bodies capped at 8 MiB.
/// A transport failure (or a larger body) is a NetworkError.
QCoro::Task<ServiceResult<HttpReply>> httpGet(QUrl url, QList<QPair<QByteArray, QByteArray>> headers);

} // namespace tallyvue
