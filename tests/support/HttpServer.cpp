// SPDX-License-Identifier: MIT
#include "support/HttpServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace tallyvue::test {

QList<QByteArray> RecordedRequest::values(QByteArrayView name) const
{
    QList<QByteArray> found;
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            found.append(value);
    }
    return found;
}

std::optional<QByteArray> RecordedRequest::value(QByteArrayView name) const
{
    const QList<QByteArray> found = values(name);
    return found.size() == 1 ? std::optional(found.first()) : std::nullopt;
}

HttpServer::HttpServer() : m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &HttpServer::accept);
}

bool HttpServer::start()
{
    return m_server->listen(QHostAddress::LocalHost, 0);
}

quint16 HttpServer::port() const
{
    return m_server->serverPort();
}

void HttpServer::accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        m_pending.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
    }
}

void HttpServer::readFrom(QTcpSocket* socket)
{
    QByteArray& buffer = m_pending[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        RecordedRequest request;
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        qint64 length = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].chopped(lines[i].endsWith('\r') ? 1 : 0);
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon);
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name.compare("content-length", Qt::CaseInsensitive) == 0)
                length = value.toLongLong();
            request.headers.append({name, value});
        }
        if (buffer.size() < end + 4 + length)
            return;
        request.body = buffer.mid(end + 4, length);
        buffer.remove(0, end + 4 + length);

        const QByteArray path = request.target.split('?').first();
        m_requests.append(request);
        ScriptedResponse response = !m_queued.value(path).isEmpty() ? m_queued[path].takeFirst()
                                    : m_responses.contains(path) ? m_responses.value(path)
                                                                 : ScriptedResponse::json(404, "no such path");
        if (response.delay.count() > 0)
            QTimer::singleShot(response.delay, socket, [this, socket, response] { answer(socket, response); });
        else
            answer(socket, response);
    }
}

void HttpServer::answer(QTcpSocket* socket, const ScriptedResponse& response)
{
    using Behavior = ScriptedResponse::Behavior;
    if (response.behavior == Behavior::Close) {
        socket->disconnectFromHost();
        return;
    }
    if (response.behavior == Behavior::Raw) {
        socket->write(response.body);
        socket->disconnectFromHost();
        return;
    }
    // Clients go by the status code; the reason phrase is free text.
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n";
    for (const auto& [name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    if (response.behavior == Behavior::CloseDelimited)
        head += "Connection: close\r\n";
    else
        head += "Content-Length: " + QByteArray::number(response.contentLength.value_or(response.body.size())) + "\r\n";
    head += "\r\n";
    socket->write(head);
    if (response.drip.count() > 0) {
        auto* timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, sent, body = response.body] {
            if (*sent >= body.size())
                return timer->stop();
            socket->write(body.mid((*sent)++, 1));
        });
        timer->start(response.drip);
        return;
    }
    socket->write(response.body);
    if (response.behavior == Behavior::CloseDelimited)
        socket->disconnectFromHost();
}

} // namespace tallyvue::test
