#include "http.h"

#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkReply>

using namespace Qt::Literals::StringLiterals;

QNetworkRequest updateRequest(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray("Mozilla/4.0 (compatible; ICS)"));
    request.setRawHeader("Accept", "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
    request.setRawHeader("Pragma", "no-cache");
    request.setRawHeader("Cache-Control", "no-cache");
    // The file as it is: a server that compresses it would announce the compressed length in
    // its HEAD answer, and the size check would reject a good file.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    // A server that stops sending must not leave the check or the download waiting for ever.
    request.setTransferTimeout(30000);
    return request;
}

QNetworkReply *getInto(QNetworkAccessManager &manager, const QUrl &url, QIODevice &file)
{
    QNetworkReply *reply = manager.get(updateRequest(url));
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, &file] { file.write(reply->readAll()); });
    return reply;
}

bool succeeded(const QNetworkReply &reply)
{
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return reply.error() == QNetworkReply::NoError && status >= 200 && status < 300;
}

QString failureText(const QNetworkReply &reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        return u"Mislukt: "_s + status.toString() + u' ' + reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    return u"Mislukt: "_s + reply.errorString();
}
