#include "updatedownload.h"

#include "http.h"
#include "util/clock.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>

using namespace Qt::Literals::StringLiterals;

UpdateDownload::UpdateDownload(QNetworkAccessManager &manager, const Clock &clock, const UpdateInfo &info,
                               const QString &directory, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_clock(clock)
    , m_info(info)
    , m_url(info.downloadFileUrl)
    , m_fileName(downloadFileName(info.downloadFileUrl))
    , m_file(m_fileName.isEmpty() ? QString() : QDir(directory).filePath(m_fileName))
{
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &UpdateDownload::tick);
}

UpdateDownload::~UpdateDownload()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
        m_file.remove();
    }
}

QString UpdateDownload::cancelQuestion()
{
    return u"Deze software update afbreken?"_s;
}

QString UpdateDownload::abortedText()
{
    return u"De software update werd afgebroken."_s;
}

void UpdateDownload::start()
{
    m_status = u"Zoek naar bestandsinformatie"_s;
    emit changed();
    m_reply = m_manager.head(updateRequest(m_url));
    connect(m_reply, &QNetworkReply::finished, this, &UpdateDownload::headArrived);
}

void UpdateDownload::headArrived()
{
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    reply->deleteLater();
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (!succeeded(*reply) || !length.isValid()) {
        m_reason = succeeded(*reply) ? u"geen bestandsgrootte ontvangen"_s : failureText(*reply);
        emit finished(Outcome::NoSize);
        return;
    }
    m_total = length.toLongLong();
    m_transfer = transferText(0, m_total, m_locale);
    const QNetworkProxy proxy = m_manager.proxy();
    m_status = proxy.type() == QNetworkProxy::HttpProxy
                   ? u"Download bestand via proxy server ("_s + proxy.hostName() + u':' + QString::number(proxy.port()) + u')'
                   : u"Download bestand"_s;
    if (m_fileName.isEmpty()) {
        m_status = u"Mislukt: geen bestandsnaam in "_s + m_url.toString();
        m_reason = m_status;
        emit sizeKnown();
        emit finished(Outcome::Failed);
        return;
    }
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_status = u"Mislukt: "_s + m_file.errorString();
        m_reason = m_status;
        emit sizeKnown();
        emit finished(Outcome::Failed);
        return;
    }
    m_startMs = m_clock.msecsSinceEpoch();
    m_timer.start();
    emit sizeKnown();
    emit changed();
    m_reply = m_manager.get(updateRequest(m_url));
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateDownload::dataArrived);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateDownload::getFinished);
}

void UpdateDownload::dataArrived()
{
    // An error page is not the file.
    if (!succeeded(*m_reply) && m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        m_reply->readAll();
        return;
    }
    const QByteArray block = m_reply->readAll();
    if (m_file.write(block) != block.size())
        m_writeFailed = true;
    m_received += block.size();
    m_transfer = transferText(m_received, m_total, m_locale);
    emit changed();
}

void UpdateDownload::tick()
{
    const qint64 elapsed = m_clock.msecsSinceEpoch() - m_startMs;
    m_speed = speedText(m_received, elapsed, m_locale);
    m_elapsed = durationText(elapsed);
    if (m_received > 0)
        m_remaining = remainingText(m_received, m_total, elapsed);
    emit changed();
}

void UpdateDownload::cancel()
{
    if (!m_reply)
        return;
    m_cancelled = true;
    m_timer.stop();
    m_reply->abort();
}

void UpdateDownload::getFinished()
{
    // The last block, when it came with the end: read while the reply is still ours.
    if (m_reply->bytesAvailable() > 0)
        dataArrived();
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    reply->deleteLater();
    m_timer.stop();
    // The last buffered block reaches the disk here: a full disk shows now, not at write().
    if (!m_file.flush())
        m_writeFailed = true;
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        m_writeFailed = true;

    if (m_cancelled)
        return end(Outcome::Cancelled);
    if (!succeeded(*reply)) {
        m_status = failureText(*reply);
        m_reason = m_status;
        return end(Outcome::Failed);
    }
    if (m_writeFailed) {
        m_status = u"Mislukt: "_s + m_file.errorString();
        m_reason = m_status;
        return end(Outcome::Failed);
    }
    m_reason = verify();
    if (!m_reason.isEmpty())
        m_status = u"Mislukt: "_s + m_reason;
    end(m_reason.isEmpty() ? Outcome::Done : Outcome::Rejected);
}

QString UpdateDownload::verify() const
{
    if (m_received != m_total)
        return u"%1 bytes ontvangen, %2 aangekondigd"_s.arg(m_received).arg(m_total);
    QFile file(m_file.fileName());
    if (!file.open(QIODevice::ReadOnly))
        return u"het bestand kan niet worden gelezen: "_s + file.errorString();
    QCryptographicHash sha1(QCryptographicHash::Sha1), md5(QCryptographicHash::Md5);
    Crc32 crc;
    qint64 size = 0;
    while (!file.atEnd()) {
        const QByteArray block = file.read(1 << 16);
        if (block.isEmpty())
            return u"het bestand kan niet worden gelezen: "_s + file.errorString();
        sha1.addData(block);
        md5.addData(block);
        crc.addData(block);
        size += block.size();
    }
    if (size != m_total)
        return u"%1 bytes op schijf, %2 aangekondigd"_s.arg(size).arg(m_total);
    const auto mismatch = [](const char *key, const QString &expected, const QString &actual) {
        return QString::fromLatin1(key) + u" klopt niet: "_s + actual + u", verwacht "_s + expected;
    };
    if (!m_info.sha1Hash.isEmpty()) {
        const QString actual = QString::fromLatin1(sha1.result().toHex());
        if (actual.compare(m_info.sha1Hash, Qt::CaseInsensitive) != 0)
            return mismatch("SHA1Hash", m_info.sha1Hash, actual);
    }
    if (!m_info.md5Hash.isEmpty()) {
        const QString actual = QString::fromLatin1(md5.result().toHex());
        if (actual.compare(m_info.md5Hash, Qt::CaseInsensitive) != 0)
            return mismatch("MD5Hash", m_info.md5Hash, actual);
    }
    if (!m_info.crc32Hash.isEmpty()) {
        QString expected = m_info.crc32Hash;
        if (expected.startsWith(u'$'))
            expected.remove(0, 1);
        bool ok = false;
        const quint32 value = expected.toUInt(&ok, 16); // also takes a "0x" prefix
        const QString actual = u"%1"_s.arg(crc.result(), 8, 16, QChar(u'0')).toUpper();
        if (!ok || value != crc.result())
            return mismatch("CRC32Hash", m_info.crc32Hash, actual);
    }
    return {};
}

void UpdateDownload::end(Outcome outcome)
{
    if (outcome != Outcome::Done)
        m_file.remove();
    emit changed();
    emit finished(outcome);
}
