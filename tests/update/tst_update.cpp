// The update check and download against a local HTTP server, their texts, the backup of the
// program, the hand-over to a stand-in updater, and `korvantim --check-update`.
#include "config/settings.h"
#include "log/log.h"
#include "support/httpserver.h"
#include "update/updater.h"
#include "util/clock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using Outcome = UpdateDownload::Outcome;

Q_DECLARE_METATYPE(HttpServer::Response)

namespace {

const QLocale dutch(QLocale::Dutch, QLocale::Netherlands);

QByteArray ini(const QByteArray &section, const QByteArray &keys)
{
    return "; update information\r\n[Ander]\r\nVersion=99.0\r\n\r\n[" + section + "]\r\n" + keys + "\r\n";
}

QString hex(QCryptographicHash::Algorithm a, const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, a).toHex());
}

QStringList temporaryUpdateFiles()
{
    return QDir::temp().entryList({ u"AU*"_s }, QDir::Files);
}

// A program directory with its working directories, a gateway's settings and log, and the
// update service, pointed at the test's server.
struct Site
{
    QTemporaryDir dir;
    FixedClock clock { QDateTime(QDate(2027, 1, 4), QTime(9, 0, 0)) };
    Regional regional;
    Log log { clock, regional };
    Settings settings;
    UpdateService service { settings, dir.path(), clock, log };

    Site()
    {
        QDir(dir.path()).mkdir(u"TempDownloads"_s);
        service.setExecutable(dir.filePath(u"KorvanTim.exe"_s));
        service.setCurrentVersion(u"9.0.1.31"_s);
        service.setLocale(dutch);
    }

    UpdateCheckResult check()
    {
        UpdateCheck *c = service.check(nullptr);
        QSignalSpy spy(c, &UpdateCheck::finished);
        const bool done = spy.wait(20000);
        delete c;
        if (!done)
            qFatal("the update check did not finish");
        return spy.at(0).at(0).value<UpdateCheckResult>();
    }

    bool logged(const QString &part) const
    {
        for (const QString &line : log.lines())
            if (line.contains(part))
                return true;
        return false;
    }
};

// A reply of the test's own making. With `chunk` 0 it has its whole body the moment it is
// finished and never says readyRead, as a transfer can end: the last block arrives together with
// the end. Otherwise the body comes `chunk` bytes at a time, each with its readyRead.
class MadeReply : public QNetworkReply
{
public:
    MadeReply(QNetworkAccessManager::Operation operation, const QNetworkRequest &request, const QByteArray &body, qint64 chunk)
        : m_body(operation == QNetworkAccessManager::HeadOperation ? QByteArray() : body)
        , m_chunk(chunk)
    {
        setRequest(request);
        setUrl(request.url());
        setOperation(operation);
        setHeader(QNetworkRequest::ContentLengthHeader, body.size());
        setAttribute(QNetworkRequest::HttpStatusCodeAttribute, 200);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        m_available = m_chunk > 0 ? 0 : m_body.size();
        QTimer::singleShot(0, this, &MadeReply::next);
    }
    qint64 bytesAvailable() const override { return m_available - m_read + QNetworkReply::bytesAvailable(); }
    void abort() override {}

protected:
    qint64 readData(char *data, qint64 max) override
    {
        const qint64 n = std::min(max, m_available - m_read);
        std::memcpy(data, m_body.constData() + m_read, size_t(n));
        m_read += n;
        return n;
    }

private:
    void next()
    {
        if (m_available < m_body.size()) {
            m_available = std::min<qint64>(m_body.size(), m_available + m_chunk);
            emit readyRead();
            QTimer::singleShot(0, this, &MadeReply::next);
            return;
        }
        setFinished(true);
        emit finished();
    }

    QByteArray m_body;
    qint64 m_chunk;
    qint64 m_available = 0;
    qint64 m_read = 0;
};

class MadeManager : public QNetworkAccessManager
{
public:
    QByteArray body;
    qint64 chunk = 0;

protected:
    QNetworkReply *createRequest(Operation operation, const QNetworkRequest &request, QIODevice *) override
    {
        return new MadeReply(operation, request, body, chunk);
    }
};

} // namespace

Q_DECLARE_METATYPE(UpdateCheckResult)

class TestUpdate : public QObject
{
    Q_OBJECT

    HttpServer m_server;

    Outcome runDownload(Site &site, const UpdateInfo &info, UpdateDownload **out = nullptr)
    {
        auto *d = site.service.download(info, &site.service);
        QSignalSpy finished(d, &UpdateDownload::finished);
        d->start();
        if (!finished.wait(20000))
            qFatal("the download did not finish");
        if (out)
            *out = d;
        return finished.at(0).at(0).value<Outcome>();
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<UpdateCheckResult>();
        qRegisterMetaType<Outcome>();
    }

    void init()
    {
        m_server.clear();
    }

    void versions_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");
        QTest::newRow("a later major, fewer digits first") << "9.0.1.31" << "10.0.0.1" << -1;
        QTest::newRow("a shorter build number") << "9.0.1.31" << "9.0.1.4" << 1;
        QTest::newRow("equal") << "9.0.1.31" << "9.0.1.31" << 0;
        QTest::newRow("missing parts are 0") << "9.0" << "9.0.0.0" << 0;
        QTest::newRow("an extra part") << "9.0.1.31" << "9.0.1.31.1" << -1;
        QTest::newRow("leading zeros") << "9.00.01" << "9.0.1" << 0;
        QTest::newRow("blanks around") << " 9.0.1.31\r" << "9.0.1.31" << 0;
        QTest::newRow("beyond 64 bits") << "1.99999999999999999999" << "1.100000000000000000000" << -1;
        QTest::newRow("text part") << "9.0.1.31b" << "9.0.1.31a" << 1;
    }
    void versions()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        QCOMPARE(compareVersions(a, b), order);
        QCOMPARE(compareVersions(b, a), -order);
    }

    void sizes_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("dutch");
        QTest::addColumn<QString>("english");
        QTest::newRow("0") << qint64(0) << "0 B" << "0 B";
        QTest::newRow("1") << qint64(1) << "1 B" << "1 B";
        QTest::newRow("1024") << qint64(1024) << "1.024 B" << "1,024 B";
        QTest::newRow("1025") << qint64(1025) << "1 KB" << "1 KB";
        QTest::newRow("5000") << qint64(5000) << "4 KB" << "4 KB";
        QTest::newRow("1 MiB") << qint64(1048576) << "1.024 KB" << "1,024 KB";
        QTest::newRow("1 MiB + 1") << qint64(1048577) << "1 MB" << "1 MB";
        QTest::newRow("1500000") << qint64(1500000) << "1 MB" << "1 MB";
        QTest::newRow("1 GiB") << qint64(1073741824) << "1.024 MB" << "1,024 MB";
        QTest::newRow("1 GiB + 1") << qint64(1073741825) << "1 GB" << "1 GB";
        QTest::newRow("5 TiB") << qint64(5) * 1024 * 1024 * 1024 * 1024 << "5.120 GB" << "5,120 GB";
    }
    void sizes()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, dutch);
        QFETCH(QString, english);
        QCOMPARE(sizeText(bytes, ::dutch), dutch);
        QCOMPARE(sizeText(bytes, QLocale(QLocale::English, QLocale::UnitedStates)), english);
    }

    void transferTexts_data()
    {
        QTest::addColumn<qint64>("received");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<QString>("transfer");
        QTest::addColumn<QString>("speed");
        QTest::addColumn<QString>("elapsed");
        QTest::addColumn<QString>("remaining");
        QTest::newRow("nothing yet") << qint64(0) << qint64(5000) << qint64(1000) << "0 B of 4 KB (0%)" << "0 B/sec"
                                     << "00:00:01" << "";
        QTest::newRow("a quarter in 2 s") << qint64(1000) << qint64(4000) << qint64(2000) << "1.000 B of 3 KB (25%)"
                                          << "500 B/sec" << "00:00:02" << "00:00:06";
        QTest::newRow("within the first second") << qint64(3000) << qint64(6000) << qint64(400) << "2 KB of 5 KB (50%)"
                                                 << "2 KB/sec" << "00:00:00" << "00:00:00";
        QTest::newRow("hours") << qint64(1500000) << qint64(150000000) << qint64(60000) << "1 MB of 143 MB (1%)"
                               << "24 KB/sec" << "00:01:00" << "01:39:00";
        QTest::newRow("past a day") << qint64(1) << qint64(100001) << qint64(1000) << "1 B of 97 KB (0%)" << "1 B/sec"
                                    << "00:00:01" << "27:46:40";
        QTest::newRow("all of a large file") << qint64(5) * 1024 * 1024 * 1024 << qint64(5) * 1024 * 1024 * 1024
                                             << qint64(3600000) << "5 GB of 5 GB (100%)" << "1 MB/sec" << "01:00:00"
                                             << "00:00:00";
    }
    void transferTexts()
    {
        QFETCH(qint64, received);
        QFETCH(qint64, total);
        QFETCH(qint64, elapsedMs);
        QFETCH(QString, transfer);
        QFETCH(QString, speed);
        QFETCH(QString, elapsed);
        QFETCH(QString, remaining);
        QCOMPARE(transferText(received, total, dutch), transfer);
        QCOMPARE(speedText(received, elapsedMs, dutch), speed);
        QCOMPARE(durationText(elapsedMs), elapsed);
        QCOMPARE(remainingText(received, total, elapsedMs), remaining);
    }

    void crc32()
    {
        Crc32 whole;
        whole.addData("123456789");
        QCOMPARE(whole.result(), 0xCBF43926u); // the check value of CRC-32
        Crc32 inParts;
        inParts.addData("1234");
        inParts.addData("");
        inParts.addData("56789");
        QCOMPARE(inParts.result(), whole.result());
        QCOMPARE(Crc32().result(), 0u);
    }

    void names()
    {
        QCOMPARE(updateSection(u"KorvanTim.exe"_s), u"KorvanTim"_s);
        QCOMPARE(updateSection(u"korvantim"_s), u"korvantim"_s);
        QCOMPARE(updateSection(u"Korvan.Tim.exe"_s), u"Korvan"_s);
        QCOMPARE(downloadFileName(u"http://h/a/b/Setup-9.1.exe"_s), u"Setup-9.1.exe"_s);
        QCOMPARE(downloadFileName(u"http://h/a/Setup%209.1.exe?van=site#x"_s), u"Setup 9.1.exe"_s);
        // Nothing that would write outside the download directory, or nowhere.
        QCOMPARE(downloadFileName(u"http://h/a/..%5C..%5CKorvanTim.exe"_s), QString());
        QCOMPARE(downloadFileName(u"http://h/a/C:evil.exe"_s), QString());
        QCOMPARE(downloadFileName(u"http://h/a/.."_s), QString());
        QCOMPARE(downloadFileName(u"http://h/a/"_s), QString());
        QCOMPARE(updateInformationUrl(u" updates.korvan.invalid/ "_s), u"http://updates.korvan.invalid/zorezarezo/KorvanTim/Updates.txt"_s);
        QCOMPARE(updateInformationUrl(u"https://h/u.txt"_s), u"https://h/u.txt"_s);
        QCOMPARE(updateInformationUrl(u"  "_s), QString());
    }

    // The section of this program, whatever the letter case; values with commas stay whole.
    void information()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Updates.txt"_s);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ini("KORVANTIM", "version = 9.1.0.2\r\nDownloadFileURL=http://h/Setup.exe\r\nReadmeFileURL=http://h/a,b.txt\r\n"
                                 "SHA1Hash=ABC\r\nmd5hash=def\r\nCRC32Hash=0badcafe\r\nUpdatePageURL=http://h/"));
        f.close();
        const UpdateInfo info = readUpdateInfo(path, u"KorvanTim"_s);
        QCOMPARE(info.version, u"9.1.0.2"_s);
        QCOMPARE(info.downloadFileUrl, u"http://h/Setup.exe"_s);
        QCOMPARE(info.readmeFileUrl, u"http://h/a,b.txt"_s);
        QCOMPARE(info.updatePageUrl, u"http://h/"_s);
        QCOMPARE(info.sha1Hash, u"ABC"_s);
        QCOMPARE(info.md5Hash, u"def"_s);
        QCOMPARE(info.crc32Hash, u"0badcafe"_s);

        const UpdateInfo none = readUpdateInfo(path, u"Elders"_s);
        QVERIFY(none.version.isEmpty() && none.downloadFileUrl.isEmpty());
    }

    void check_data()
    {
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<bool>("newer");
        QTest::addColumn<bool>("download");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<bool>("webPageQuestion");
        QTest::addColumn<int>("exitCode");
        const QByteArray dl = "DownloadFileURL=http://127.0.0.1:1/Setup.exe\r\n";
        QTest::newRow("newer, with download and notes") << dl + "Version=9.0.1.32\r\nReadmeFileURL=" + m_server.url(u"/notes.txt"_s).toUtf8()
                                                        << true << true << "Nieuw:\n- alles" << false << 0;
        QTest::newRow("newer without DownloadFileURL") << QByteArray("Version=9.0.2") << true << false << "" << false << 0;
        QTest::newRow("equal") << dl + "Version=9.0.1.31" << false << true << "" << false << 1;
        QTest::newRow("older") << dl + "Version=9.0.1.30" << false << true << "" << false << 1;
        QTest::newRow("10.0.0.1 is newer than 9.0.1.31") << dl + "Version=10.0.0.1" << true << true << "" << false << 0;
        QTest::newRow("9.0.1.4 is older than 9.0.1.31") << dl + "Version=9.0.1.4" << false << true << "" << false << 1;
        QTest::newRow("release notes missing") << dl + "Version=9.1\r\nReadmeFileURL=" + m_server.url(u"/weg.txt"_s).toUtf8()
                                               << true << true << "Mislukt: 404 Not Found" << false << 0;
        QTest::newRow("no version: the web page is offered") << QByteArray("DownloadFileURL=") << false << false << ""
                                                             << true << 1;
    }
    void check()
    {
        QFETCH(QByteArray, keys);
        QFETCH(bool, newer);
        QFETCH(bool, download);
        QFETCH(QString, notes);
        QFETCH(bool, webPageQuestion);
        QFETCH(int, exitCode);
        m_server.set(u"/notes.txt"_s, QByteArray("Nieuw:\r\n- alles"));
        m_server.set(u"/zorezarezo/KorvanTim/Updates.txt"_s, ini("KorvanTim", keys));
        const QStringList temporaries = temporaryUpdateFiles();

        Site site;
        site.settings.UpdateURL = m_server.url(u"/zorezarezo/KorvanTim/Updates.txt"_s);
        site.settings.UpdatePage = u"http://127.0.0.1:1/korvan"_s;
        const UpdateCheckResult r = site.check();
        QVERIFY(r.configured && r.informationRead);
        QCOMPARE(r.currentVersion, u"9.0.1.31"_s);
        QCOMPARE(r.newer, newer);
        QCOMPARE(r.downloadOffered(), download);
        QCOMPARE(r.notes, notes);
        QCOMPARE(r.offerWebPage(), webPageQuestion);
        QCOMPARE(r.info.updatePageUrl, u"http://127.0.0.1:1/korvan"_s);
        QCOMPARE(checkExitCode(r), exitCode);
        QCOMPARE(temporaryUpdateFiles(), temporaries);

        // Every request as the update server expects it.
        QVERIFY(!m_server.requests.isEmpty());
        for (const HttpServer::Request &q : m_server.requests) {
            QCOMPARE(q.method, "GET");
            QCOMPARE(q.headers.value("user-agent"), "Mozilla/4.0 (compatible; ICS)");
            QCOMPARE(q.headers.value("accept"), "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
            QCOMPARE(q.headers.value("cache-control"), "no-cache");
            QCOMPARE(q.headers.value("pragma"), "no-cache");
        }
    }

    // A failed information request: the reason in the notes, and the version unknown.
    void informationMissing()
    {
        Site site;
        site.settings.UpdateURL = m_server.url(u"/elders/Updates.txt"_s);
        UpdateCheckResult r = site.check();
        QVERIFY(r.configured && !r.informationRead);
        QCOMPARE(r.notes, u"Mislukt: 404 Not Found"_s);
        QVERIFY(!r.newer && !r.downloadOffered());
        QVERIFY(!r.offerWebPage()); // no page known either
        QCOMPARE(checkExitCode(r), 2);
        QCOMPARE(checkReport(r), u"Er is geen nieuwe versie beschikbaar. (deze versie: 9.0.1.31)\n\nMislukt: 404 Not Found\n"_s);

        site.settings.UpdatePage = u"http://127.0.0.1:1/korvan"_s;
        r = site.check();
        QVERIFY(r.offerWebPage());
        QCOMPARE(UpdateCheck::openWebPageQuestion(), u"Er is geen nieuwe versie beschikbaar.\rWenst u de website te openen?"_s);
    }

    void redirected()
    {
        m_server.redirect(u"/oud/Updates.txt"_s, m_server.url(u"/nieuw/Updates.txt"_s));
        m_server.set(u"/nieuw/Updates.txt"_s, ini("KorvanTim", "Version=9.0.2\r\nUpdatePageURL=http://127.0.0.1:1/nieuw"));
        Site site;
        site.settings.UpdateURL = m_server.url(u"/oud/Updates.txt"_s);
        const UpdateCheckResult r = site.check();
        QVERIFY(r.newer);
        QCOMPARE(r.info.updatePageUrl, u"http://127.0.0.1:1/nieuw"_s);
        QCOMPARE(m_server.requests.size(), 2);
    }

    void notConfigured()
    {
        Site site;
        const UpdateCheckResult r = site.check();
        QVERIFY(!r.configured && !r.newer);
        QCOMPARE(checkExitCode(r), 2);
        QCOMPARE(checkReport(r), u"Er is geen update server ingesteld.\n"_s);
        QVERIFY(m_server.requests.isEmpty());
    }

    void report()
    {
        UpdateCheckResult r;
        r.informationRead = true;
        r.currentVersion = u"9.0.1.31"_s;
        r.info.version = u"10.0.0.1"_s;
        r.info.downloadFileUrl = u"http://h/Setup.exe"_s;
        r.info.updatePageUrl = u"http://h/"_s;
        r.notes = u"Nieuw:\n- alles"_s;
        r.newer = true;
        QCOMPARE(checkReport(r), u"Nieuwe versie is beschikbaar: 10.0.0.1 (deze versie: 9.0.1.31)\nDownload: http://h/Setup.exe\n"
                                  "Webpagina: http://h/\n\nNieuw:\n- alles\n"_s);
        r.info.downloadFileUrl.clear();
        QVERIFY(checkReport(r).contains(u"Download: niet aangeboden\n"_s));
    }

    void download_data()
    {
        QTest::addColumn<HttpServer::Response>("response");
        QTest::addColumn<QString>("sha1");
        QTest::addColumn<QString>("md5");
        QTest::addColumn<QString>("crc32");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("logged");
        const QByteArray body = testPayload(70000);
        const QString sha1 = hex(QCryptographicHash::Sha1, body);
        const QString md5 = hex(QCryptographicHash::Md5, body);
        Crc32 c;
        c.addData(body);
        const QString crc = QString::number(c.result(), 16);
        const HttpServer::Response ok { 200, "OK", body, {} };
        HttpServer::Response shortBody = ok;
        shortBody.headLength = body.size() + 10;
        HttpServer::Response noLength = ok;
        noLength.contentLength = false;

        QTest::newRow("no hashes") << ok << "" << "" << "" << Outcome::Done << "";
        QTest::newRow("right hashes") << ok << sha1 << md5 << crc << Outcome::Done << "";
        QTest::newRow("right hashes, upper case, CRC with $") << ok << sha1.toUpper() << md5.toUpper() << u"$"_s + crc.toUpper()
                                                             << Outcome::Done << "";
        QTest::newRow("wrong SHA1") << ok << QString(sha1).replace(0, 1, sha1.startsWith(u'0') ? u"1"_s : u"0"_s) << md5 << crc
                                    << Outcome::Rejected << "SHA1Hash klopt niet";
        QTest::newRow("wrong MD5") << ok << sha1 << QString(40, u'0') << crc << Outcome::Rejected << "MD5Hash klopt niet";
        QTest::newRow("wrong CRC32") << ok << sha1 << md5 << u"0x0"_s << Outcome::Rejected << "CRC32Hash klopt niet";
        QTest::newRow("CRC32 not a number") << ok << "" << "" << u"xyz"_s << Outcome::Rejected << "CRC32Hash klopt niet";
        QTest::newRow("short download") << shortBody << "" << "" << "" << Outcome::Rejected << "70000 bytes ontvangen, 70010";
        QTest::newRow("HEAD without Content-Length") << noLength << "" << "" << "" << Outcome::NoSize
                                                     << "geen bestandsgrootte ontvangen";
        QTest::newRow("HEAD refused") << HttpServer::Response { 403, "Forbidden", "nee", {} } << "" << "" << "" << Outcome::NoSize
                                      << "Mislukt: 403 Forbidden";
    }
    void download()
    {
        QFETCH(HttpServer::Response, response);
        QFETCH(QString, sha1);
        QFETCH(QString, md5);
        QFETCH(QString, crc32);
        QFETCH(Outcome, outcome);
        QFETCH(QString, logged);
        m_server.set(u"/dl/KorvanTim-9.1.exe"_s, response);
        Site site;
        UpdateInfo info;
        info.downloadFileUrl = m_server.url(u"/dl/KorvanTim-9.1.exe"_s);
        info.sha1Hash = sha1;
        info.md5Hash = md5;
        info.crc32Hash = crc32;
        UpdateDownload *d = nullptr;
        QCOMPARE(runDownload(site, info, &d), outcome);

        const QString target = site.dir.filePath(u"TempDownloads/KorvanTim-9.1.exe"_s);
        QCOMPARE(d->fileName(), u"KorvanTim-9.1.exe"_s);
        QCOMPARE(QFileInfo(d->filePath()).absoluteFilePath(), QFileInfo(target).absoluteFilePath());
        QCOMPARE(QFile::exists(target), outcome == Outcome::Done);
        if (outcome == Outcome::Done) {
            QFile f(target);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), response.body);
            QCOMPARE(d->transfer(), u"68 KB of 68 KB (100%)"_s);
            QCOMPARE(d->status(), u"Download bestand"_s);
        }
        QCOMPARE(m_server.requests.value(0).method, "HEAD");
        for (const HttpServer::Request &request : m_server.requests)
            QCOMPARE(request.headers.value("accept-encoding"), QByteArray("identity"));
        // No size, no transfer.
        QCOMPARE(m_server.requests.size(), outcome == Outcome::NoSize ? 1 : 2);
        if (logged.isEmpty())
            QVERIFY2(!site.logged(u"Software update"_s), qPrintable(site.log.lines().join(u'\n')));
        else
            QVERIFY2(site.logged(u"M-> Software update afgebroken: KorvanTim-9.1.exe: "_s + logged),
                     qPrintable(site.log.lines().join(u'\n')));
    }

    // Without a temporary file there is no answer, and the check says why instead of "no newer
    // version".
    void noTemporaryFile()
    {
        m_server.set(u"/info.txt"_s, ini("KorvanTim", "Version=9.1.0.0"));
        Site site;
        site.settings.UpdateURL = m_server.url(u"/info.txt"_s);
        // A file where the directory should be: no temporary file can be made there, not even by root.
        QFile notADirectory(site.dir.filePath(u"geen-map"_s));
        QVERIFY(notADirectory.open(QIODevice::WriteOnly));
        notADirectory.close();
        const QByteArray tmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(notADirectory.fileName()));
        const UpdateCheckResult r = site.check();
        qputenv("TMPDIR", tmp);
        QVERIFY2(r.failure.startsWith(u"Mislukt: geen tijdelijk bestand in "_s), qPrintable(r.failure));
        QVERIFY(!r.informationRead && !r.newer);
        QCOMPARE(checkExitCode(r), 2);
        QCOMPARE(checkReport(r), r.failure + u'\n');
        QVERIFY(m_server.requests.isEmpty());
    }

    // A disk that fills under the download: the file that did not reach the disk whole is never
    // handed over.
    void diskFills()
    {
        if (geteuid() != 0)
            QSKIP("mounting a small file system for the download needs root");
        Site site;
        const QString downloads = site.dir.filePath(u"TempDownloads"_s);
        if (QProcess::execute(u"mount"_s, { u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=64k"_s, u"tmpfs"_s, downloads }) != 0)
            QSKIP("no small tmpfs could be mounted here");
        const auto unmount = qScopeGuard([&] { QProcess::execute(u"umount"_s, { downloads }); });
        // Small blocks: the last of them waits in the file's buffer until the file is closed,
        // and only then meets the full disk.
        MadeManager manager;
        manager.body = testPayload(64 * 1024 + 6000);
        manager.chunk = 4096;
        UpdateInfo info;
        info.downloadFileUrl = u"http://updates.example/dl/KorvanTim-9.1.exe"_s;
        info.sha1Hash = hex(QCryptographicHash::Sha1, manager.body);
        UpdateDownload d(manager, site.clock, info, downloads);
        QSignalSpy finished(&d, &UpdateDownload::finished);
        d.start();
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.at(0).at(0).value<Outcome>(), Outcome::Failed);
        QVERIFY2(d.status().startsWith(u"Mislukt: "_s), qPrintable(d.status()));
        QVERIFY(!QFile::exists(d.filePath()));
    }

    // The whole file comes with the end of the transfer: it is written and verified as any other.
    void lastBlockWithTheEnd()
    {
        Site site;
        MadeManager manager;
        manager.body = testPayload(5000);
        UpdateInfo info;
        info.downloadFileUrl = u"http://updates.example/dl/KorvanTim-9.1.exe"_s;
        info.sha1Hash = hex(QCryptographicHash::Sha1, manager.body);
        UpdateDownload d(manager, site.clock, info, site.dir.filePath(u"TempDownloads"_s));
        QSignalSpy finished(&d, &UpdateDownload::finished);
        d.start();
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.at(0).at(0).value<Outcome>(), Outcome::Done);
        QFile f(d.filePath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), manager.body);
    }

    // An HTTP error on the transfer itself: the status says it and nothing stays behind.
    void transferRefused()
    {
        m_server.set(u"/dl/Setup.exe"_s, testPayload(100));
        m_server.set(u"GET:/dl/Setup.exe"_s, HttpServer::Response { 503, "Service Unavailable", "later", {} });
        Site site;
        UpdateInfo info;
        info.downloadFileUrl = m_server.url(u"/dl/Setup.exe"_s);
        UpdateDownload *d = nullptr;
        QCOMPARE(runDownload(site, info, &d), Outcome::Failed);
        QCOMPARE(d->status(), u"Mislukt: 503 Service Unavailable"_s);
        QVERIFY(!QFile::exists(site.dir.filePath(u"TempDownloads/Setup.exe"_s)));
    }

    // Without "TempDownloads" the file cannot be made: a failure, shown in the status.
    void noDownloadDirectory()
    {
        m_server.set(u"/dl/Setup.exe"_s, testPayload(100));
        Site site;
        QVERIFY(QDir(site.dir.path()).rmdir(u"TempDownloads"_s));
        UpdateInfo info;
        info.downloadFileUrl = m_server.url(u"/dl/Setup.exe"_s);
        UpdateDownload *d = nullptr;
        QCOMPARE(runDownload(site, info, &d), Outcome::Failed);
        QVERIFY(d->status().startsWith(u"Mislukt: "_s));
        QCOMPARE(m_server.requests.size(), 1);
    }

    void noFileName()
    {
        m_server.set(u"/dl/"_s, testPayload(100));
        Site site;
        UpdateInfo info;
        info.downloadFileUrl = m_server.url(u"/dl/"_s);
        UpdateDownload *d = nullptr;
        QCOMPARE(runDownload(site, info, &d), Outcome::Failed);
        QCOMPARE(d->status(), u"Mislukt: geen bestandsnaam in "_s + info.downloadFileUrl);
        QVERIFY(QDir(site.dir.filePath(u"TempDownloads"_s)).isEmpty());
        QCOMPARE(m_server.requests.size(), 1);
    }

    // The file keeps the name of the URL that was asked for, wherever a redirect leads.
    void downloadRedirected()
    {
        const QByteArray body = testPayload(3000);
        m_server.redirect(u"/dl/Setup.exe"_s, m_server.url(u"/spiegel/x.bin"_s));
        m_server.set(u"/spiegel/x.bin"_s, body);
        Site site;
        UpdateInfo info;
        info.downloadFileUrl = m_server.url(u"/dl/Setup.exe"_s);
        info.sha1Hash = hex(QCryptographicHash::Sha1, body);
        QCOMPARE(runDownload(site, info), Outcome::Done);
        QFile f(site.dir.filePath(u"TempDownloads/Setup.exe"_s));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), body);
    }

    void throughProxy()
    {
        m_server.set(u"/dl/Setup.exe"_s, testPayload(500));
        Site site;
        site.service.setProxy(u"127.0.0.1"_s, m_server.port());
        UpdateInfo info;
        info.downloadFileUrl = u"http://korvan.invalid/dl/Setup.exe"_s;
        UpdateDownload *d = nullptr;
        QCOMPARE(runDownload(site, info, &d), Outcome::Done);
        QCOMPARE(d->status(), u"Download bestand via proxy server (127.0.0.1:%1)"_s.arg(m_server.port()));
        QCOMPARE(m_server.requests.value(1).target, "http://korvan.invalid/dl/Setup.exe");

        site.service.setProxy(u"proxy.invalid"_s);
        QCOMPARE(site.service.network().proxy().port(), 80);
    }

    // The window's figures while the transfer stands half-way, from the injected clock; then
    // either the rest arrives or the operator cancels.
    void progressAndCancel_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("completed") << false;
        QTest::newRow("cancelled") << true;
    }
    void progressAndCancel()
    {
        QFETCH(bool, cancel);
        HttpServer::Response r { 200, "OK", testPayload(4000), {} };
        r.holdAfter = 1000;
        m_server.set(u"/dl/Setup.exe"_s, r);
        Site site;
        UpdateInfo info;
        info.downloadFileUrl = m_server.url(u"/dl/Setup.exe"_s);
        UpdateDownload *d = site.service.download(info, &site.service);
        QSignalSpy sized(d, &UpdateDownload::sizeKnown);
        QSignalSpy finished(d, &UpdateDownload::finished);
        d->start();
        QCOMPARE(d->status(), u"Zoek naar bestandsinformatie"_s);
        QVERIFY(sized.wait(20000));
        QCOMPARE(d->transfer(), u"0 B of 3 KB (0%)"_s);
        QCOMPARE(d->total(), 4000);
        QTRY_COMPARE_WITH_TIMEOUT(d->received(), 1000, 20000);
        QVERIFY(d->running());
        QCOMPARE(d->transfer(), u"1.000 B of 3 KB (25%)"_s);
        QCOMPARE(d->percent(), 25);

        site.clock.advance(2000);
        d->tick();
        QCOMPARE(d->speed(), u"500 B/sec"_s);
        QCOMPARE(d->elapsed(), u"00:00:02"_s);
        QCOMPARE(d->remaining(), u"00:00:06"_s);

        if (cancel) {
            d->cancel();
            QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
            QCOMPARE(finished.at(0).at(0).value<Outcome>(), Outcome::Cancelled);
            m_server.release();
        } else {
            m_server.release();
            QVERIFY(finished.wait(20000));
            QCOMPARE(finished.at(0).at(0).value<Outcome>(), Outcome::Done);
        }
        QCOMPARE(QFile::exists(site.dir.filePath(u"TempDownloads/Setup.exe"_s)), !cancel);
        QVERIFY(!d->running());
    }

    void backup()
    {
        Site site;
        const QString program = site.dir.filePath(u"KorvanTim.exe"_s);
        const auto writeProgram = [&](const QByteArray &content) {
            QFile f(program);
            return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
        };
        const auto backedUp = [&] {
            QFile f(site.dir.filePath(u"Backups/KorvanTim.exe"_s));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
        };
        QVERIFY(writeProgram("versie 1"));
        site.service.backupExecutable(); // makes "Backups" too
        QCOMPARE(backedUp(), "versie 1");
        QVERIFY(writeProgram("versie 2"));
        QVERIFY(QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner));
        site.service.backupExecutable();
        QCOMPARE(backedUp(), "versie 2");
        QVERIFY(QFile::permissions(site.dir.filePath(u"Backups/KorvanTim.exe"_s)) & QFile::ExeOwner);

        // A program that cannot be read keeps the earlier copy.
        QVERIFY(QDir(site.dir.path()).mkpath(u"onleesbaar/KorvanTim.exe"_s));
        site.service.setExecutable(site.dir.filePath(u"onleesbaar/KorvanTim.exe"_s));
        site.service.backupExecutable();
        QCOMPARE(backedUp(), "versie 2");
        QCOMPARE(QDir(site.dir.filePath(u"Backups"_s)).entryList(QDir::Files), QStringList { u"KorvanTim.exe"_s });

        // A program that cannot be copied leaves no trace and no complaint.
        site.service.setExecutable(site.dir.filePath(u"weg.exe"_s));
        site.service.backupExecutable();
        QVERIFY(!QFile::exists(site.dir.filePath(u"Backups/weg.exe"_s)));
    }

    void updaterProgram()
    {
        Site site;
#ifdef Q_OS_WIN
        QCOMPARE(site.service.updaterProgram(), site.dir.filePath(u"KorvanUpdater.exe"_s));
#else
        QCOMPARE(site.service.updaterProgram(), site.dir.filePath(u"korvan-updater"_s));
#endif
    }

#ifdef Q_OS_UNIX
    // The updater gets the file's full path between single quotes; here a stand-in that only
    // writes down what it was given.
    void handOver()
    {
        Site site;
        const QString file = site.dir.filePath(u"TempDownloads/Setup 9.1.exe"_s);
        QVERIFY(!site.service.startUpdater(file));
        QVERIFY(site.logged(u"M-> Het updateprogramma werd niet gevonden: "_s + site.service.updaterProgram()));

        const QString seen = site.dir.filePath(u"seen.txt"_s);
        QVERIFY(writeRecordingScript(site.service.updaterProgram(), seen));
        QVERIFY(site.service.startUpdater(file));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(seen), 20000);
        QFile f(seen);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()), u"1|'"_s + file + u'\'');
    }

    // The command line check as a program of its own, against this server.
    void checkUpdateCommand_data()
    {
        QTest::addColumn<QByteArray>("configuration");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("printed");
        QTest::newRow("newer") << QByteArray("<UpdateURL_Text>%1</UpdateURL_Text>") << 0
                               << u"Nieuwe versie is beschikbaar: 99.0.0.1 (deze versie: %1)\nDownload: http://127.0.0.1:1/Setup.exe\n"_s;
        QTest::newRow("same version") << QByteArray("<UpdateURL_Text>%2</UpdateURL_Text>") << 1
                                      << u"Er is geen nieuwe versie beschikbaar. (deze versie: %1, aangeboden: %1)\n"_s;
        QTest::newRow("no update server") << QByteArray() << 2 << u"Er is geen update server ingesteld.\n"_s;
        QTest::newRow("broken after the address")
            << QByteArray("<UpdateURL_Text>%1</UpdateURL_Text>\r\n<xPaswoordSQL_Text>geheim&1</xPaswoordSQL_Text>") << 0
            << u"Nieuwe versie is beschikbaar: 99.0.0.1 (deze versie: %1)\nDownload: http://127.0.0.1:1/Setup.exe\n"_s;
    }
    void checkUpdateCommand()
    {
        QFETCH(QByteArray, configuration);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        const QString current = QStringLiteral(KORVAN_VERSION);
        m_server.set(u"/nieuw.txt"_s, ini("korvantim", "Version=99.0.0.1\r\nDownloadFileURL=http://127.0.0.1:1/Setup.exe"));
        m_server.set(u"/zelfde.txt"_s, ini("korvantim", "Version=" + current.toLatin1()));
        QTemporaryDir dir;
        QFile config(dir.filePath(u"KorvanTim.xml"_s));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n"
                     + configuration.replace("%1", m_server.url(u"/nieuw.txt"_s).toUtf8())
                           .replace("%2", m_server.url(u"/zelfde.txt"_s).toUtf8())
                     + "\r\n  </Hoofdscherm>\r\n</Configuration>\r\n");
        config.close();

        QProcess p;
        p.setProgram(QStringLiteral(KORVAN_BIN_DIR) + u"/korvantim"_s);
        p.setArguments({ u"--check-update"_s, u"--dir"_s, dir.path() });
        QSignalSpy done(&p, &QProcess::finished);
        p.start();
        QVERIFY(done.wait(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), printed.replace(u"%1"_s, current));
        QCOMPARE(p.exitCode(), exitCode);
        // A check writes no settings, and reads them only: no working directories, no copy of
        // a broken file, no log files.
        QVERIFY(config.open(QIODevice::ReadOnly));
        QVERIFY(!config.readAll().contains("FormVersion"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList { u"KorvanTim.xml"_s });
    }
#endif
};

QTEST_GUILESS_MAIN(TestUpdate)
#include "tst_update.moc"
