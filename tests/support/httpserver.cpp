#include "httpserver.h"

#include <QFile>
#include <QHostAddress>

HttpServer::HttpServer(QObject *parent) : QObject(parent)
{
    if (!m_server.listen(QHostAddress::LocalHost))
        qFatal("HttpServer: cannot listen on 127.0.0.1");
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QString HttpServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void HttpServer::redirect(const QString &from, const QString &to)
{
    Response r { 302, "Found", {}, { { "Location", to.toUtf8() } } };
    set(from, r);
}

void HttpServer::clear()
{
    m_responses.clear();
    requests.clear();
}

void HttpServer::serve(QTcpSocket *socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    socket->setProperty("buffer", buffer);
    if (end < 0 || socket->property("answered").toBool())
        return;
    socket->setProperty("answered", true);

    const QList<QByteArray> lines = buffer.left(end).split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    Request request { first.value(0), first.value(1), {}, {} };
    const QUrl target(QString::fromUtf8(request.target));
    request.path = target.path();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    requests.append(request);

    const bool head = request.method == "HEAD";
    const QString getKey = QStringLiteral("GET:") + request.path;
    const Response r = !head && m_responses.contains(getKey)
                           ? m_responses.value(getKey)
                           : m_responses.value(request.path, Response { 404, "Not Found", "not found", {} });
    QByteArray answer = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + r.reason + "\r\nConnection: close\r\n";
    for (const auto &[name, value] : r.headers)
        answer += name + ": " + value + "\r\n";
    if (r.contentLength)
        answer += "Content-Length: " + QByteArray::number(head && r.headLength >= 0 ? r.headLength : r.body.size()) + "\r\n";
    answer += "\r\n";
    if (head) {
        socket->write(answer);
        socket->disconnectFromHost();
        return;
    }
    if (r.holdAfter >= 0 && r.holdAfter < r.body.size()) {
        socket->write(answer + r.body.left(r.holdAfter));
        m_held.append({ socket, r.body.mid(r.holdAfter) });
        emit held();
        return;
    }
    socket->write(answer + r.body);
    socket->disconnectFromHost();
}

void HttpServer::release()
{
    for (const auto &[socket, rest] : std::exchange(m_held, {})) {
        if (!socket)
            continue;
        socket->write(rest);
        socket->disconnectFromHost();
    }
}

QByteArray testPayload(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char(i * 7 + i / 251);
    return b;
}

bool writeRecordingScript(const QString &program, const QString &record)
{
    QFile script(program);
    if (!script.open(QIODevice::WriteOnly))
        return false;
    const QByteArray to = record.toUtf8();
    script.write("#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"" + to + ".part\"\nmv \"" + to + ".part\" \"" + to + "\"\n");
    script.close();
    return script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
