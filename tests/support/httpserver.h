#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// A small HTTP server on 127.0.0.1 for the update tests: fixed answers per path, one request
// per connection, and a GET that can stop half-way until the test lets it go on.
class HttpServer : public QObject
{
    Q_OBJECT
public:
    struct Response
    {
        int status = 200;
        QByteArray reason = "OK";
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        bool contentLength = true; // send a Content-Length header
        qint64 headLength = -1;    // the HEAD answer's Content-Length, when not the body's size
        qint64 holdAfter = -1;     // a GET sends this much of the body, then waits for release()
    };
    struct Request
    {
        QByteArray method;
        QByteArray target; // as sent: a path, or an absolute URL through a proxy
        QString path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
    };

    explicit HttpServer(QObject *parent = nullptr);

    quint16 port() const { return m_server.serverPort(); }
    QString url(const QString &path) const;

    // The answer for a path; "GET:" + path sets a different one for GET than for HEAD.
    void set(const QString &path, const Response &response) { m_responses.insert(path, response); }
    void set(const QString &path, const QByteArray &body) { set(path, Response { 200, "OK", body, {} }); }
    void redirect(const QString &from, const QString &to);
    // Forgets every answer and request.
    void clear();

    // Sends the rest of every held answer.
    void release();
    int holding() const { return int(m_held.size()); }

    QList<Request> requests;

signals:
    void held();

private:
    void serve(QTcpSocket *socket);

    QTcpServer m_server;
    QHash<QString, Response> m_responses;
    QList<QPair<QPointer<QTcpSocket>, QByteArray>> m_held;
};

// Bytes that are not all alike, for downloads.
QByteArray testPayload(int size);
// A shell script at `program` that writes the number of its parameters, "|" and the first one
// into `record` (complete once the file exists). A harmless stand-in for the updater.
bool writeRecordingScript(const QString &program, const QString &record);
