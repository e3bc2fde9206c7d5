// The two windows of the update and the update button of the main window, under the offscreen
// platform, against a local HTTP server; the updater is a stand-in script.
#include "app/gateway.h"
#include "support/httpserver.h"
#include "ui/mainwindow.h"
#include "ui/updatewindows.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString infoPath = u"/zorezarezo/KorvanTim/Updates.txt"_s;

// What the update told the operator, in order, and the pages it opened.
struct Operator
{
    QStringList said;
    QList<QUrl> opened;
    bool answer = true;

    UpdatePrompts prompts()
    {
        return {
            [this](const QString &t) { said << u"info: "_s + t; },
            [this](const QString &t) {
                said << u"question: "_s + t;
                return answer;
            },
            [this](const QString &t) { said << u"error: "_s + t; },
            [this](const QUrl &u) { opened << u; },
            [this](const QString &t) { said << u"log: "_s + t; },
        };
    }
};

QByteArray information(const QByteArray &keys)
{
    return "[KorvanTim]\r\n" + keys + "\r\n";
}

} // namespace

class TestUpdateWindows : public QObject
{
    Q_OBJECT

    HttpServer m_server;
    FixedClock m_clock { QDateTime(QDate(2027, 1, 4), QTime(9, 0, 0)) };
    Regional m_regional;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Gateway> m_gateway;
    Operator m_operator;

    Gateway &g() { return *m_gateway; }

    template <typename T>
    static T *child(QWidget &parent, const char *name)
    {
        return parent.findChild<T *>(QLatin1StringView(name));
    }

    DownloadWindow *startDownload(const UpdateInfo &info)
    {
        auto *window = new DownloadWindow(g().update(), info, m_operator.prompts());
        window->start();
        return window;
    }

private slots:
    void init()
    {
        m_server.clear();
        m_operator = {};
        m_dir = std::make_unique<QTemporaryDir>();
        m_gateway = std::make_unique<Gateway>(m_dir->path(), m_clock, m_regional);
        g().create();
        g().settings().NotifyAddress = u"127.0.0.1"_s;
        g().settings().UpdateURL = m_server.url(infoPath);
        g().settings().UpdatePage = u"http://127.0.0.1:1/korvan"_s;
        g().update().setExecutable(m_dir->filePath(u"KorvanTim.exe"_s));
        g().update().setCurrentVersion(u"9.0.1.31"_s);
        g().update().setLocale(QLocale(QLocale::Dutch, QLocale::Netherlands));
    }

    void cleanup()
    {
        m_gateway.reset();
        m_dir.reset();
    }

    // Only web addresses reach the desktop's opener.
    void webPageSchemes_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("opened");
        QTest::newRow("http") << "http://updates.example/korvan" << true;
        QTest::newRow("https") << "https://updates.example/korvan?v=9" << true;
        QTest::newRow("upper case") << "HTTPS://updates.example/" << true;
        QTest::newRow("file") << "file:///C:/Windows/System32/calc.exe" << false;
        QTest::newRow("network share") << "\\\\server\\share\\setup.exe" << false;
        QTest::newRow("file path") << "C:\\Windows\\System32\\calc.exe" << false;
        QTest::newRow("protocol handler") << "ms-settings:windowsupdate" << false;
        QTest::newRow("script") << "javascript:alert(1)" << false;
        QTest::newRow("ftp") << "ftp://updates.example/korvan" << false;
        QTest::newRow("no host") << "http:///korvan" << false;
        QTest::newRow("empty") << "" << false;
    }
    void webPageSchemes()
    {
        QFETCH(QString, page);
        QFETCH(bool, opened);
        UpdateCheckResult r;
        r.newer = true;
        r.info.updatePageUrl = page;
        UpdateOfferWindow w(r, m_operator.prompts());
        child<QPushButton>(w, "BtnWebpagina")->click();
        if (opened) {
            QCOMPARE(m_operator.opened, QList<QUrl> { QUrl(page) });
            QVERIFY(m_operator.said.isEmpty());
        } else {
            QVERIFY(m_operator.opened.isEmpty());
            QCOMPARE(m_operator.said,
                     QStringList({ u"log: M-> Webpagina niet geopend, alleen http- en https-adressen worden geopend: "_s + page,
                                   u"info: "_s + UpdatePrompts::pageNotAvailableText() }));
        }
    }

    void offerWindow_data()
    {
        QTest::addColumn<QString>("downloadUrl");
        QTest::newRow("with a download") << "http://127.0.0.1:1/Setup.exe";
        QTest::newRow("without DownloadFileURL") << "";
    }
    void offerWindow()
    {
        QFETCH(QString, downloadUrl);
        UpdateCheckResult r;
        r.newer = true;
        r.notes = u"Versie 9.1\n- een heel lange regel die niet afgebroken wordt, hoe smal het venster ook is"_s;
        r.info.downloadFileUrl = downloadUrl;
        r.info.updatePageUrl = u"http://127.0.0.1:1/korvan"_s;
        UpdateOfferWindow w(r, m_operator.prompts());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QCOMPARE(w.windowTitle(), u"Nieuwe versie is beschikbaar"_s);
        QCOMPARE(w.size(), QSize(690, 313));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QCOMPARE(w.palette().color(QPalette::Window), QColor(Qt::white));
        auto *notes = child<QPlainTextEdit>(w, "ReadmeMemo");
        QVERIFY(notes);
        QCOMPARE(notes->toPlainText(), r.notes);
        QVERIFY(notes->isReadOnly());
        QCOMPARE(notes->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(notes->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

        auto *download = child<QPushButton>(w, "BtnDownload");
        auto *page = child<QPushButton>(w, "BtnWebpagina");
        auto *ok = child<QPushButton>(w, "BtnOK");
        QVERIFY(download && page && ok);
        QCOMPARE(download->text(), u"Download en installeer"_s);
        QCOMPARE(page->text(), u"Open webpagina"_s);
        QCOMPARE(ok->text(), u"OK"_s);
        QCOMPARE(download->isEnabled(), !downloadUrl.isEmpty());
        QVERIFY(ok->isDefault() && !download->isDefault());

        page->click();
        QCOMPARE(m_operator.opened, QList<QUrl> { QUrl(r.info.updatePageUrl) });
        QVERIFY(w.isVisible());

        if (download->isEnabled()) {
            download->click();
            QCOMPARE(w.result(), UpdateOfferWindow::Download);
            w.show();
        }
        QTest::keyClick(&w, Qt::Key_Return);
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Accepted));
        w.show();
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Rejected));
        QVERIFY(m_operator.said.isEmpty());
    }

    // The figures while the transfer stands half-way, then "AFBREKEN": first No, then Yes.
    void downloadWindowCancelled()
    {
        HttpServer::Response r { 200, "OK", testPayload(4000), {} };
        r.holdAfter = 1000;
        m_server.set(u"/dl/Setup.exe"_s, r);
        UpdateInfo info;
        info.downloadFileUrl = m_server.url(u"/dl/Setup.exe"_s);
        QPointer<DownloadWindow> w = startDownload(info);
        QTRY_VERIFY_WITH_TIMEOUT(w->isVisible(), 20000);
        QVERIFY(w->isModal());
        QCOMPARE(w->windowTitle(), u"Download nieuwe versie"_s);
        QCOMPARE(w->size(), QSize(690, 313));
        QCOMPARE(w->palette().color(QPalette::Window), QColor(Qt::white));

        QStringList names;
        for (QLabel *l : w->findChildren<QLabel *>())
            if (l->buddy())
                names << l->text();
        QCOMPARE(names, (QStringList { u"Bestand:"_s, u"Snelheid:"_s, u"Status :"_s, u"Verstreken tijd :"_s,
                                       u"Resterende tijd :"_s, u"Overdracht :"_s }));
        const auto shown = [&](const char *name) { return child<QLabel>(*w, name)->text(); };
        QCOMPARE(shown("Bestand"), u"Setup.exe"_s);
        QCOMPARE(shown("Status"), u"Download bestand"_s);

        QTRY_COMPARE_WITH_TIMEOUT(shown("Overdracht"), u"1.000 B of 3 KB (25%)"_s, 20000);
        QCOMPARE(child<QProgressBar>(*w, "ProgressBar")->value(), 25);
        m_clock.advance(2000);
        w->download().tick();
        QCOMPARE(shown("Snelheid"), u"500 B/sec"_s);
        QCOMPARE(shown("Verstreken"), u"00:00:02"_s);
        QCOMPARE(shown("Resterend"), u"00:00:06"_s);

        auto *cancel = child<QPushButton>(*w, "BtnAfbreken");
        QCOMPARE(cancel->text(), u"AFBREKEN"_s);
        m_operator.answer = false;
        cancel->click();
        QVERIFY(w->download().running());
        QVERIFY(cancel->isEnabled());

        m_operator.answer = true;
        cancel->click();
        QCOMPARE(m_operator.said, (QStringList { u"question: Deze software update afbreken?"_s, u"question: Deze software update afbreken?"_s,
                                                 u"error: De software update werd afgebroken."_s }));
        QVERIFY(!cancel->isEnabled());
        QTRY_VERIFY(!w->download().running());
        QVERIFY(!QFile::exists(m_dir->filePath(u"TempDownloads/Setup.exe"_s)));
        m_server.release();
        w->close();
        QTRY_VERIFY(!w);
    }

    void downloadWindowRejectsAWrongFile()
    {
        m_server.set(u"/dl/Setup.exe"_s, testPayload(3000));
        UpdateInfo info;
        info.downloadFileUrl = m_server.url(u"/dl/Setup.exe"_s);
        info.md5Hash = QString(32, u'0');
        QPointer<DownloadWindow> w = startDownload(info);
        QSignalSpy ready(w.data(), &DownloadWindow::ready);
        QTRY_COMPARE_WITH_TIMEOUT(m_operator.said, QStringList { u"error: De software update werd afgebroken."_s }, 20000);
        QVERIFY(w->isVisible());
        QVERIFY(child<QLabel>(*w, "Status")->text().startsWith(u"Mislukt: MD5Hash klopt niet: "_s));
        QCOMPARE(child<QProgressBar>(*w, "ProgressBar")->value(), 100);
        QVERIFY(ready.isEmpty());
        QVERIFY(!QFile::exists(m_dir->filePath(u"TempDownloads/Setup.exe"_s)));
        QVERIFY(g().log().lines().last().contains(u"M-> Software update afgebroken: Setup.exe: MD5Hash klopt niet"_s));

        // Nothing left to stop: the button closes the window without a question.
        child<QPushButton>(*w, "BtnAfbreken")->click();
        QTRY_VERIFY(!w);
        QCOMPARE(m_operator.said.size(), 1);
    }

    // A server without "Content-Length" in its HEAD answer: nothing shows and nothing is fetched.
    void downloadWithoutSize()
    {
        HttpServer::Response r { 200, "OK", testPayload(3000), {} };
        r.contentLength = false;
        m_server.set(u"/dl/Setup.exe"_s, r);
        UpdateInfo info;
        info.downloadFileUrl = m_server.url(u"/dl/Setup.exe"_s);
        QPointer<DownloadWindow> w = startDownload(info);
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(!w, 20000);
        QVERIFY(m_operator.said.isEmpty());
        QCOMPARE(m_server.requests.size(), 1);
    }

    // The update button without an offer: what the operator is told.
    void buttonWithoutOffer_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<bool>("opened");
        const QString none = u"info: Er is geen nieuwe versie beschikbaar."_s;
        QTest::newRow("no update server") << "" << QByteArray() << "" << QStringList { u"info: Er is geen update server ingesteld."_s } << false;
        QTest::newRow("equal version") << infoPath << QByteArray("Version=9.0.1.31") << "http://127.0.0.1:1/korvan"
                                       << QStringList { none } << false;
        QTest::newRow("older version") << infoPath << QByteArray("Version=9.0.1.4") << "" << QStringList { none } << false;
        QTest::newRow("version unknown: open the page?")
            << u"/weg.txt"_s << QByteArray() << "http://127.0.0.1:1/korvan"
            << QStringList { u"question: Er is geen nieuwe versie beschikbaar.\rWenst u de website te openen?"_s } << true;
    }
    void buttonWithoutOffer()
    {
        QFETCH(QString, url);
        QFETCH(QByteArray, keys);
        QFETCH(QString, page);
        QFETCH(QStringList, said);
        QFETCH(bool, opened);
        m_server.set(infoPath, information(keys));
        g().settings().UpdateURL = url.isEmpty() ? QString() : m_server.url(url);
        g().settings().UpdatePage = page;
        QFile program(g().update().executable());
        QVERIFY(program.open(QIODevice::WriteOnly));
        program.write("programma");
        program.close();

        MainWindow w(g());
        w.updatePrompts = m_operator.prompts();
        auto *button = w.findChild<QAction *>(u"BtnUpdate"_s);
        auto *tray = w.findChild<QAction *>(u"TrayUpdate"_s);
        QCOMPARE(button->toolTip(), u"Controleer de software op updates"_s);
        button->trigger();
        QVERIFY(!button->isEnabled() && !tray->isEnabled());
        // The program is backed up before anything is asked.
        QVERIFY(QFile::exists(m_dir->filePath(u"Backups/KorvanTim.exe"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(m_operator.said, said, 20000);
        QVERIFY(button->isEnabled() && tray->isEnabled());
        QCOMPARE(m_operator.opened, opened ? QList<QUrl> { QUrl(page) } : QList<QUrl> {});
    }

    // One update at a time: "Update" stays off while the offer and the download window are open,
    // and comes back when the last of them is done.
    void oneUpdateAtATime()
    {
        const QByteArray body = testPayload(5000);
        // The download waits half way, so that its window is there to be looked at.
        m_server.set(u"/dl/Setup.exe"_s, HttpServer::Response { 200, "OK", body, {}, true, -1, 1000 });
        m_server.set(infoPath, information("Version=9.1\r\nDownloadFileURL=" + m_server.url(u"/dl/Setup.exe"_s).toUtf8()));
        MainWindow w(g());
        w.updatePrompts = m_operator.prompts();
        auto *button = w.findChild<QAction *>(u"BtnUpdate"_s);
        auto *tray = w.findChild<QAction *>(u"TrayUpdate"_s);

        // The offer is looked at, then answered with "Download en installeer".
        bool offered = false, offEverywhere = true;
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&] {
            if (auto *offer = qobject_cast<UpdateOfferWindow *>(QApplication::activeModalWidget())) {
                offered = true;
                offEverywhere = !button->isEnabled() && !tray->isEnabled();
                tray->trigger(); // does nothing while this update runs
                offer->findChild<QPushButton *>(u"BtnDownload"_s)->click();
            }
        });
        answer.start(10);
        button->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(offered, 20000);
        answer.stop();
        QVERIFY(offEverywhere);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.holding(), 1, 20000);
        QPointer<DownloadWindow> download = w.findChild<DownloadWindow *>();
        QVERIFY(download);
        QVERIFY(!button->isEnabled() && !tray->isEnabled());
        m_server.release();
        QTRY_VERIFY_WITH_TIMEOUT(!m_operator.said.isEmpty(), 20000); // the updater is missing here
        if (download)
            download->close();
        QTRY_VERIFY(!download);
        QVERIFY(button->isEnabled() && tray->isEnabled());
        QCOMPARE(m_server.requests.size(), 3); // the information, and one download: HEAD and GET
    }

#ifdef Q_OS_UNIX
    // From the tray's "Update" to the updater: the offer, the download, the message, the
    // updater with the file, and the gateway ending with its settings kept; or, without the
    // updater, the gateway running on.
    void handOver_data()
    {
        QTest::addColumn<bool>("updaterThere");
        QTest::newRow("updater there") << true;
        QTest::newRow("updater missing") << false;
    }
    void handOver()
    {
        QFETCH(bool, updaterThere);
        const QByteArray body = testPayload(5000);
        m_server.set(u"/dl/Setup.exe"_s, body);
        m_server.set(infoPath, information("Version=9.1\r\nDownloadFileURL=" + m_server.url(u"/dl/Setup.exe"_s).toUtf8()
                                           + "\r\nSHA1Hash=" + QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex()));
        const QString seen = m_dir->filePath(u"seen.txt"_s);
        if (updaterThere)
            QVERIFY(writeRecordingScript(g().update().updaterProgram(), seen));

        auto w = std::make_unique<MainWindow>(g());
        w->confirmClose = [] { return false; }; // the update must not ask
        w->updatePrompts = m_operator.prompts();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));

        // Answers the offer with "Download en installeer" as soon as it shows.
        bool offered = false;
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&] {
            if (auto *offer = qobject_cast<UpdateOfferWindow *>(QApplication::activeModalWidget())) {
                offered = true;
                offer->findChild<QPushButton *>(u"BtnDownload"_s)->click();
            }
        });
        answer.start(10);
        w->findChild<QAction *>(u"TrayUpdate"_s)->trigger();

        const QString file = m_dir->filePath(u"TempDownloads/Setup.exe"_s);
        if (updaterThere) {
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(seen), 20000);
            QFile f(seen);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(f.readAll()), u"1|'"_s + file + u'\'');
            QCOMPARE(m_operator.said, QStringList { u"info: Ludor Korvan\u00AE ZoreZarezo gaat nu starten"_s });
            QTRY_VERIFY(!w->isVisible());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(m_operator.said.size(), 1, 20000);
            QCOMPARE(m_operator.said.first(), u"error: Het updateprogramma werd niet gevonden: "_s + g().update().updaterProgram());
            QVERIFY(g().log().lines().last().endsWith(u"M-> Het updateprogramma werd niet gevonden: "_s + g().update().updaterProgram()));
            QVERIFY(w->isVisible());
        }
        QVERIFY(offered);
        QVERIFY(!g().closing()); // no shutdown sequence either way
        w.reset();
        QVERIFY(g().settingsCopied()); // but the settings reach the configuration file
        QFile downloaded(file);
        QVERIFY(downloaded.open(QIODevice::ReadOnly));
        QCOMPARE(downloaded.readAll(), body);
    }
#endif
};

QTEST_MAIN(TestUpdateWindows)
#include "tst_updatewindows.moc"
