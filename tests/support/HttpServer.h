// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <chrono>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace tallyvue::test {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

/// What the server does with a request for one path.
struct ScriptedResponse
{
    enum class Behavior {
        Answer,         ///< status line, headers, Content-Length and the body
        CloseDelimited, ///< no Content-Length: the body, then the connection is closed
        Stall,          ///< status line and headers (plus `body`), then silence with the connection open
        Close,          ///< the connection is closed without any answer
        Raw,            ///< `body` is written as it is, then the connection is closed
    };

    ScriptedResponse(int statusCode = 200, QByteArray content = {}, Behavior how = Behavior::Answer)
        : status(statusCode), body(std::move(content)), behavior(how)
    {
    }
    /// With "Content-Type: application/json".
    static ScriptedResponse json(int status, QByteArray body)
    {
        ScriptedResponse response(status, std::move(body));
        response.headers = {{"Content-Type", "application/json"}};
        return response;
    }

    int status;
    HeaderList headers;
    QByteArray body;
    Behavior behavior;
    std::chrono::milliseconds delay{0};  ///< wait this long before answering
    std::chrono::milliseconds drip{0};   ///< when set, the body is sent one byte at a time at this pace
    std::optional<qint64> contentLength; ///< announce this length instead of the body's
};

/// One request as the server read it.
struct RecordedRequest
{
    QByteArray method;
    QByteArray target;  ///< path and query as sent
    HeaderList headers; ///< in the order received, names as sent
    QByteArray body;

    /// Every value of a header (names compare case-insensitively).
    QList<QByteArray> values(QByteArrayView name) const;
    /// The header's only value; nothing when it is absent or repeated.
    std::optional<QByteArray> value(QByteArrayView name) const;
};

/**
 * A small HTTP/1.1 server on 127.0.0.1 for tests: answers each path as scripted (404 otherwise),
 * records every request, and can answer slowly, stall or drop the connection. It runs on the
 * thread that creates it, so the test's event loop (QCoro::waitFor) drives both sides.
 */
class HttpServer : public QObject
{
public:
    HttpServer();

    /// Listens on a free port of 127.0.0.1; false when that fails.
    bool start();
    quint16 port() const;
    /// "http://127.0.0.1:<port>"
    QString origin() const { return QStringLiteral("http://127.0.0.1:") + QString::number(port()); }

    void setResponse(const QByteArray& path, ScriptedResponse reply) { m_responses.insert(path, std::move(reply)); }
    /// Answers the next request for `path` with `response`, before the one set above.
    void queueResponse(const QByteArray& path, ScriptedResponse reply) { m_queued[path].append(std::move(reply)); }
    QList<RecordedRequest> requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

private:
    void accept();
    void readFrom(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const ScriptedResponse& response);

    QTcpServer* m_server;
    QHash<QByteArray, ScriptedResponse> m_responses;
    QHash<QByteArray, QList<ScriptedResponse>> m_queued;
    QList<RecordedRequest> m_requests;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

} // namespace tallyvue::test
