#pragma once

#include <QNetworkRequest>
#include <QString>
#include <QUrl>

class QIODevice;
class QNetworkAccessManager;
class QNetworkReply;

// Every request of the update: the browser-like headers the update server knows, never from a
// cache, redirects followed up to 5 times but never from https down to http.
QNetworkRequest updateRequest(const QUrl &url);

// GET with the answer written into `file` as it arrives.
QNetworkReply *getInto(QNetworkAccessManager &manager, const QUrl &url, QIODevice &file);

// True for a finished reply that brought the document (after redirects).
bool succeeded(const QNetworkReply &reply);

// "Mislukt: " + status code + " " + reason phrase; without an HTTP answer, the network's reason.
QString failureText(const QNetworkReply &reply);
