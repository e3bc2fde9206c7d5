#include "updater.h"

#include "config/settings.h"
#include "log/log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkProxy>
#include <QProcess>
#include <QSaveFile>

using namespace Qt::Literals::StringLiterals;

UpdateService::UpdateService(const Settings &settings, const QString &programDir, const Clock &clock, Log &log,
                             QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_programDir(programDir)
    , m_clock(clock)
    , m_log(log)
    , m_currentVersion(QStringLiteral(KORVAN_VERSION))
{
    m_network.setProxy(QNetworkProxy::NoProxy);
}

UpdateCheck *UpdateService::check(QObject *parent)
{
    UpdateCheckSetup setup { m_settings.UpdateURL, m_settings.UpdatePage, m_currentVersion,
                             updateSection(QFileInfo(executable()).fileName()) };
    auto *check = new UpdateCheck(m_network, std::move(setup), parent);
    check->start();
    return check;
}

UpdateDownload *UpdateService::download(const UpdateInfo &info, QObject *parent)
{
    auto *download = new UpdateDownload(m_network, m_clock, info, QDir(m_programDir).filePath(u"TempDownloads"_s), parent);
    download->setLocale(m_locale);
    connect(download, &UpdateDownload::finished, this, [this, download](UpdateDownload::Outcome outcome) {
        if (outcome == UpdateDownload::Outcome::Rejected || outcome == UpdateDownload::Outcome::NoSize)
            m_log.Logger(u"M-> Software update afgebroken: "_s + download->fileName() + u": "_s + download->reason());
    });
    return download;
}

void UpdateService::backupExecutable()
{
    const QDir dir(m_programDir);
    dir.mkdir(u"Backups"_s);
    const QString copy = dir.filePath(u"Backups/"_s + QFileInfo(executable()).fileName());
    // The earlier copy is replaced only by a complete new one: a copy that fails keeps it.
    QFile program(executable());
    QSaveFile backup(copy);
    if (!program.open(QIODevice::ReadOnly) || !backup.open(QIODevice::WriteOnly))
        return;
    while (!program.atEnd()) {
        const QByteArray block = program.read(1 << 16);
        if (block.isEmpty() || backup.write(block) != block.size()) {
            backup.cancelWriting();
            break;
        }
    }
    if (backup.commit())
        QFile::setPermissions(copy, program.permissions());
}

bool UpdateService::startUpdater(const QString &file)
{
    const QString program = updaterProgram();
    if (!QFileInfo(program).isFile()) {
        m_log.Logger(u"M-> "_s + updaterMissingText(program));
        return false;
    }
    const QString parameter = u'\'' + QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()) + u'\'';
    if (!QProcess::startDetached(program, { parameter }, QFileInfo(program).absolutePath())) {
        m_log.Logger(u"M-> "_s + updaterFailedText(program));
        return false;
    }
    return true;
}

void UpdateService::setProxy(const QString &host, quint16 port)
{
    m_network.setProxy(host.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy)
                                      : QNetworkProxy(QNetworkProxy::HttpProxy, host, port ? port : 80));
}

QString UpdateService::executable() const
{
    return m_executable.isEmpty() ? QCoreApplication::applicationFilePath() : m_executable;
}

QString UpdateService::updaterProgram() const
{
    if (!m_updater.isEmpty())
        return m_updater;
#ifdef Q_OS_WIN
    const QString name = u"KorvanUpdater.exe"_s;
#else
    const QString name = u"korvan-updater"_s;
#endif
    return QFileInfo(executable()).dir().filePath(name);
}

QString UpdateService::startingText()
{
    return u"Ludor Korvan\u00AE ZoreZarezo gaat nu starten"_s;
}

QString UpdateService::updaterMissingText(const QString &program)
{
    return u"Het updateprogramma werd niet gevonden: "_s + QDir::toNativeSeparators(program);
}

QString UpdateService::updaterFailedText(const QString &program)
{
    return u"Het updateprogramma kon niet starten: "_s + QDir::toNativeSeparators(program);
}
