#pragma once

#include "updatecheck.h"
#include "updatetexts.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLocale>
#include <QObject>
#include <QTimer>
#include <QUrl>

class Clock;
class QNetworkAccessManager;
class QNetworkReply;

// The download of a new installation file: its size from a HEAD answer, then the file itself
// into the download directory, checked against that size and every hash the update information
// gives before it counts as done. Keeps the texts of the download window up to date.
class UpdateDownload : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        Done,      // complete and verified: ready for the updater
        NoSize,    // the HEAD request failed or gave no size; nothing was downloaded
        Failed,    // an HTTP or file error; status() says which
        Cancelled, // the operator stopped it
        Rejected,  // the file is not the one announced (size or hash); reason() says why
    };
    Q_ENUM(Outcome)

    UpdateDownload(QNetworkAccessManager &manager, const Clock &clock, const UpdateInfo &info, const QString &directory,
                   QObject *parent = nullptr);
    ~UpdateDownload() override;

    void setLocale(const QLocale &locale) { m_locale = locale; }

    // Asks for the size; on an answer with one, sizeKnown() and the transfer follow.
    void start();
    // The one-second tick of the window: speed, elapsed and remaining time.
    void tick();
    // "AFBREKEN" answered yes: stops the transfer; finished(Cancelled) follows.
    void cancel();
    bool running() const { return m_reply != nullptr; }

    QString fileName() const { return m_fileName; }
    QString filePath() const { return m_file.fileName(); }
    QString status() const { return m_status; }
    QString speed() const { return m_speed; }
    QString elapsed() const { return m_elapsed; }
    QString remaining() const { return m_remaining; }
    QString transfer() const { return m_transfer; }
    qint64 received() const { return m_received; }
    qint64 total() const { return m_total; }
    int percent() const { return m_total > 0 ? int(m_received * 100 / m_total) : 0; }
    // Why the file was rejected or the download did not start, for the log.
    QString reason() const { return m_reason; }

    static QString cancelQuestion();
    static QString abortedText();

signals:
    void sizeKnown();
    void changed();
    void finished(UpdateDownload::Outcome outcome);

private:
    void headArrived();
    void dataArrived();
    void getFinished();
    void end(Outcome outcome);
    // The file as it is on disk: its size and every hash given. Empty when it passes.
    QString verify() const;

    QNetworkAccessManager &m_manager;
    const Clock &m_clock;
    UpdateInfo m_info;
    QUrl m_url;
    QString m_fileName;
    QLocale m_locale;
    QFile m_file;
    QNetworkReply *m_reply = nullptr;
    QTimer m_timer;
    qint64 m_startMs = 0;
    qint64 m_total = 0;
    qint64 m_received = 0;
    bool m_cancelled = false;
    bool m_writeFailed = false;

    QString m_status, m_speed, m_elapsed, m_remaining, m_transfer, m_reason;
};
