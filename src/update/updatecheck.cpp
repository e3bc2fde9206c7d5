#include "updatecheck.h"

#include "http.h"
#include "updatetexts.h"
#include "util/ansicodec.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSettings>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace {

QString matching(const QStringList &names, const QString &name)
{
    for (const QString &n : names)
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return n;
    return {};
}

// A value with a comma comes back from QSettings as a list; the file meant one text.
QString textOf(const QVariant &value)
{
    return value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',') : value.toString();
}

// Release notes are plain text as the maker's editor saved it: UTF-8, or the Windows code page.
QString decodeNotes(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = AnsiCodec::instance().decode(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text.replace(u"\r\n"_s, u"\n"_s);
}

} // namespace

UpdateInfo readUpdateInfo(const QString &iniFile, const QString &section)
{
    UpdateInfo info;
    QSettings ini(iniFile, QSettings::IniFormat);
    const QString group = matching(ini.childGroups(), section);
    if (group.isEmpty())
        return info;
    ini.beginGroup(group);
    const QStringList keys = ini.childKeys();
    const auto read = [&](const char *key) {
        const QString k = matching(keys, QString::fromLatin1(key));
        return k.isEmpty() ? QString() : textOf(ini.value(k)).trimmed();
    };
    info.downloadFileUrl = read("DownloadFileURL");
    info.readmeFileUrl = read("ReadmeFileURL");
    info.updatePageUrl = read("UpdatePageURL");
    info.version = read("Version");
    info.crc32Hash = read("CRC32Hash");
    info.md5Hash = read("MD5Hash");
    info.sha1Hash = read("SHA1Hash");
    return info;
}

UpdateCheck::UpdateCheck(QNetworkAccessManager &manager, UpdateCheckSetup setup, QObject *parent)
    : QObject(parent), m_manager(manager), m_setup(std::move(setup))
{
    m_result.currentVersion = m_setup.currentVersion;
}

UpdateCheck::~UpdateCheck()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

QString UpdateCheck::notConfiguredText()
{
    return u"Er is geen update server ingesteld."_s;
}

QString UpdateCheck::noNewVersionText()
{
    return u"Er is geen nieuwe versie beschikbaar."_s;
}

QString UpdateCheck::openWebPageQuestion()
{
    return noNewVersionText() + u'\r' + u"Wenst u de website te openen?"_s;
}

void UpdateCheck::start()
{
    const QString url = updateInformationUrl(m_setup.infoUrl);
    if (url.isEmpty()) {
        m_result.configured = false;
        // Reported from the event loop, as every other outcome is.
        QTimer::singleShot(0, this, &UpdateCheck::finish);
        return;
    }
    m_reply = fetch(url, m_result.failure);
    if (!m_reply) {
        QTimer::singleShot(0, this, &UpdateCheck::finish);
        return;
    }
    connect(m_reply, &QNetworkReply::finished, this, &UpdateCheck::infoArrived);
}

QNetworkReply *UpdateCheck::fetch(const QString &url, QString &failure)
{
    m_file = std::make_unique<QTemporaryFile>(QDir::temp().filePath(u"AUXXXXXX"_s));
    if (!m_file->open()) {
        failure = u"Mislukt: geen tijdelijk bestand in "_s + QDir::toNativeSeparators(QDir::tempPath()) + u": "_s
                + m_file->errorString();
        m_file.reset();
        return nullptr;
    }
    return getInto(m_manager, QUrl(url), *m_file);
}

void UpdateCheck::addNote(const QString &line)
{
    if (!m_result.notes.isEmpty() && !m_result.notes.endsWith(u'\n'))
        m_result.notes += u'\n';
    m_result.notes += line;
}

void UpdateCheck::infoArrived()
{
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    reply->deleteLater();
    if (succeeded(*reply)) {
        m_file->close();
        m_result.info = readUpdateInfo(m_file->fileName(), m_setup.section);
        m_result.informationRead = true;
    } else {
        addNote(failureText(*reply));
    }
    m_file.reset();
    if (m_result.info.updatePageUrl.isEmpty())
        m_result.info.updatePageUrl = m_setup.updatePage;

    if (m_result.info.readmeFileUrl.isEmpty()) {
        finish();
        return;
    }
    QString failure;
    m_reply = fetch(m_result.info.readmeFileUrl, failure);
    if (!m_reply) {
        // The information is read; only the notes are missing, and the notes say why.
        addNote(failure);
        finish();
        return;
    }
    connect(m_reply, &QNetworkReply::finished, this, &UpdateCheck::notesArrived);
}

void UpdateCheck::notesArrived()
{
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    reply->deleteLater();
    if (succeeded(*reply)) {
        m_file->seek(0);
        m_result.notes = decodeNotes(m_file->readAll());
    } else {
        addNote(failureText(*reply));
    }
    m_file.reset();
    finish();
}

void UpdateCheck::finish()
{
    m_result.newer = m_result.configured && !m_result.info.version.isEmpty()
                  && compareVersions(m_result.currentVersion, m_result.info.version) < 0;
    emit finished(m_result);
}

QString checkReport(const UpdateCheckResult &r)
{
    if (!r.configured)
        return UpdateCheck::notConfiguredText() + u'\n';
    if (!r.failure.isEmpty())
        return r.failure + u'\n';
    QString out;
    if (r.newer) {
        out += u"Nieuwe versie is beschikbaar: "_s + r.info.version + u" (deze versie: "_s + r.currentVersion + u")\n"_s;
        out += u"Download: "_s + (r.downloadOffered() ? r.info.downloadFileUrl : u"niet aangeboden"_s) + u'\n';
    } else {
        out += UpdateCheck::noNewVersionText() + u" (deze versie: "_s + r.currentVersion
             + (r.info.version.isEmpty() ? QString() : u", aangeboden: "_s + r.info.version) + u")\n"_s;
    }
    if (!r.info.updatePageUrl.isEmpty())
        out += u"Webpagina: "_s + r.info.updatePageUrl + u'\n';
    if (!r.notes.isEmpty()) {
        out += u'\n' + r.notes;
        if (!out.endsWith(u'\n'))
            out += u'\n';
    }
    return out;
}

int checkExitCode(const UpdateCheckResult &r)
{
    if (!r.configured || !r.informationRead)
        return 2;
    return r.newer ? 0 : 1;
}
