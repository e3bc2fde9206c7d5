#pragma once

#include "updatecheck.h"
#include "updatedownload.h"

#include <QLocale>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>

class Clock;
class Log;
struct Settings;

// The update as the gateway offers it: checks and downloads against the configured update
// server, the backup of the running program, and the hand-over to the updater program.
class UpdateService : public QObject
{
    Q_OBJECT
public:
    UpdateService(const Settings &settings, const QString &programDir, const Clock &clock, Log &log,
                  QObject *parent = nullptr);

    QNetworkAccessManager &network() { return m_network; }

    // A check, started; it reports through UpdateCheck::finished and belongs to `parent`.
    UpdateCheck *check(QObject *parent);
    // A download of what the check offered into "TempDownloads", not yet started. A rejected
    // file is logged with the reason.
    UpdateDownload *download(const UpdateInfo &info, QObject *parent);

    // Copies the running program into "Backups" under its own name, replacing an earlier copy.
    // A failure is not reported: the backup is a courtesy, not a condition of the update.
    void backupExecutable();
    // Starts the updater with the downloaded file as its one parameter, between single quotes.
    // False, and logged, when the updater is missing or does not start.
    bool startUpdater(const QString &file);

    // An HTTP proxy for the update server; port 80 unless given.
    void setProxy(const QString &host, quint16 port = 80);

    QString currentVersion() const { return m_currentVersion; }
    void setCurrentVersion(const QString &v) { m_currentVersion = v; }
    // The running program; its name up to the first "." names the section of the information.
    QString executable() const;
    void setExecutable(const QString &path) { m_executable = path; }
    // "KorvanUpdater.exe" on Windows, "korvan-updater" elsewhere, beside the executable.
    QString updaterProgram() const;
    void setUpdaterProgram(const QString &path) { m_updater = path; }
    const QLocale &locale() const { return m_locale; }
    void setLocale(const QLocale &locale) { m_locale = locale; }

    static QString startingText();
    static QString updaterMissingText(const QString &program);
    static QString updaterFailedText(const QString &program);

private:
    const Settings &m_settings;
    QString m_programDir;
    const Clock &m_clock;
    Log &m_log;
    QNetworkAccessManager m_network;
    QString m_currentVersion;
    QString m_executable;
    QString m_updater;
    QLocale m_locale;
};
