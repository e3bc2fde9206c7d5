#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QTemporaryFile;

// What the update information offers, from the section of this program.
struct UpdateInfo
{
    QString downloadFileUrl; // empty: no download is offered
    QString readmeFileUrl;
    QString updatePageUrl;
    QString version;
    QString crc32Hash;
    QString md5Hash;
    QString sha1Hash;
};

// Reads the section of the INI file. Section and key names match in any letter case, as the
// update server's Windows INI files expect; a missing key reads as empty.
UpdateInfo readUpdateInfo(const QString &iniFile, const QString &section);

struct UpdateCheckResult
{
    bool configured = true; // false: no update information URL is set
    bool informationRead = false;
    QString currentVersion;
    UpdateInfo info;        // updatePageUrl already falls back to the configured page
    QString notes;          // the release notes, or why they are missing
    bool newer = false;     // the offered version is newer than this one
    QString failure;        // this machine failed the check (no temporary file): said instead of an answer

    bool downloadOffered() const { return !info.downloadFileUrl.isEmpty(); }
    // With no newer version, whether the operator is asked to open the web page: only when
    // the version is unknown and a page is known.
    bool offerWebPage() const { return !newer && info.version.isEmpty() && !info.updatePageUrl.isEmpty(); }
};

struct UpdateCheckSetup
{
    QString infoUrl;
    QString updatePage;
    QString currentVersion;
    QString section;
};

// One check: the information file, then the release notes, each into a temporary file that is
// deleted after reading. Reports once through finished().
class UpdateCheck : public QObject
{
    Q_OBJECT
public:
    UpdateCheck(QNetworkAccessManager &manager, UpdateCheckSetup setup, QObject *parent = nullptr);
    ~UpdateCheck() override;

    void start();

    static QString notConfiguredText();
    static QString noNewVersionText();
    static QString openWebPageQuestion();

signals:
    void finished(const UpdateCheckResult &result);

private:
    // Null when the temporary file cannot be made; `failure` then says why.
    QNetworkReply *fetch(const QString &url, QString &failure);
    void infoArrived();
    void notesArrived();
    void finish();
    void addNote(const QString &line);

    QNetworkAccessManager &m_manager;
    UpdateCheckSetup m_setup;
    UpdateCheckResult m_result;
    std::unique_ptr<QTemporaryFile> m_file;
    QNetworkReply *m_reply = nullptr;
};

// The check's outcome as text, for the command line: what the window or the message would show.
QString checkReport(const UpdateCheckResult &result);
// The command line's exit status: 0 a newer version exists, 1 none, 2 no answer (no update
// server configured, or its information could not be read).
int checkExitCode(const UpdateCheckResult &result);
