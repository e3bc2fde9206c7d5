// The order-status files: content byte for byte, names, settings and failures.
#include "config/settings.h"
#include "notify/statusxml.h"
#include "util/clock.h"
#include "util/errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::Literals::StringLiterals;

namespace {

const QDateTime Evening(QDate(2026, 12, 8), QTime(20, 48, 16));

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A program directory with its backup folder and an exchange directory of its own.
struct Site
{
    QTemporaryDir dir;
    FixedClock clock { Evening };
    Regional regional;
    Settings settings;
    StatusExport exporter { settings, clock, regional, dir.path() };

    Site()
    {
        QDir(dir.path()).mkpath(u"VXLXML/BACKUPS/UIT"_s);
        QDir(dir.path()).mkpath(u"uit"_s);
        settings.xVXLUitgaand = exchange();
    }
    QString exchange() const { return dir.filePath(u"uit"_s); }
    QString backup() const { return dir.filePath(u"VXLXML/BACKUPS/UIT"_s); }
    QStringList files(const QString &where) const { return QDir(where).entryList(QDir::Files); }
};

} // namespace

class TestStatusXml : public QObject
{
    Q_OBJECT
private slots:
    void contentByteForByte()
    {
        Site s;
        s.exporter.StatusXML(u"70012345"_s, u"12"_s, u"12-ABC-3"_s, u"0052.3901"_s, u"4.8871"_s);
        const QString name = u"Ludor_12_70012345_161216.xml"_s;
        const QByteArray expected = readAll(QStringLiteral(KORVAN_TEST_DATA "/export/") + name);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(readAll(QDir(s.exchange()).filePath(name)), expected);
        QCOMPARE(readAll(QDir(s.backup()).filePath(name)), expected);
    }

    void fileNames_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("name");
        QTest::newRow("8 December 20:48:06") << QDateTime(QDate(2026, 12, 8), QTime(20, 48, 6)) << "Ludor_12_4711_6126.xml";
        QTest::newRow("8 December 20:48:16") << QDateTime(QDate(2026, 12, 8), QTime(20, 48, 16)) << "Ludor_12_4711_161216.xml";
        QTest::newRow("January 10:00:05") << QDateTime(QDate(2027, 1, 3), QTime(10, 0, 5)) << "Ludor_12_4711_515.xml";
    }
    void fileNames()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, name);
        QCOMPARE(statusXmlFileName(u"12"_s, u"4711"_s, time), name);
    }

    // The time separator is the workstation's; the date's is always "-".
    void timeSeparator()
    {
        const QString content = statusXmlContent(u"1"_s, u"14"_s, QString(), QString(), QString(), QDate(2027, 1, 3),
                                                 QTime(9, 5, 7), u'.');
        QVERIFY(content.contains(u"<taskevent_DateTime>2027-01-03T09.05.07</taskevent_DateTime>\r\n"_s));
        QVERIFY(content.contains(u"<x_coord></x_coord>\r\n<y_coord></y_coord>\r\n"_s));
    }

    void settings_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("backup");
        QTest::addColumn<int>("exchanged");
        QTest::addColumn<int>("backedUp");
        QTest::newRow("active with backup") << true << true << 1 << 1;
        QTest::newRow("active without backup") << true << false << 1 << 0;
        QTest::newRow("off, backup on") << false << true << 0 << 0;
    }
    void settings()
    {
        QFETCH(bool, active);
        QFETCH(bool, backup);
        QFETCH(int, exchanged);
        QFETCH(int, backedUp);
        Site s;
        s.settings.VXLActief = active;
        s.settings.VXLBackup = backup;
        s.exporter.StatusXML(u"4711"_s, u"13"_s, u"12-ABC-3"_s, u"0052.3901"_s, u"4.8871"_s);
        QCOMPARE(s.files(s.exchange()).size(), exchanged);
        QCOMPARE(s.files(s.backup()).size(), backedUp);
    }

    // Values are escaped, so a strict reader always gets a well-formed document with the values.
    void escapedValues()
    {
        Site s;
        s.exporter.StatusXML(u"47<11>"_s, u"12"_s, u"AB&C<1>"_s, u"0052.3901"_s, u"4.8871"_s);
        const QStringList files = s.files(s.exchange());
        QCOMPARE(files.size(), 1);
        const QByteArray bytes = readAll(QDir(s.exchange()).filePath(files.first()));
        QVERIFY(bytes.contains("<comment>AB&amp;C&lt;1&gt;</comment>\r\n"));
        QXmlStreamReader xml(bytes);
        QStringList comments, orders;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement) {
                if (xml.name() == "comment"_L1)
                    comments << xml.readElementText();
                else if (xml.name() == "orderId"_L1)
                    orders << xml.readElementText();
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(comments, QStringList { u"AB&C<1>"_s });
        QCOMPARE(orders, QStringList { u"47<11>"_s });
    }

    // The same name within a second replaces the earlier file.
    void sameSecondReplaces()
    {
        Site s;
        s.exporter.StatusXML(u"4711"_s, u"12"_s, u"first"_s, QString(), QString());
        s.exporter.StatusXML(u"4711"_s, u"12"_s, u"second"_s, QString(), QString());
        QCOMPARE(s.files(s.exchange()), QStringList { u"Ludor_12_4711_161216.xml"_s });
        QVERIFY(readAll(QDir(s.exchange()).filePath(u"Ludor_12_4711_161216.xml"_s)).contains("<comment>second</comment>"));
    }

    // A missing directory is an error for the caller, and the backup is then not written.
    void missingDirectory()
    {
        Site s;
        s.settings.xVXLUitgaand = s.dir.filePath(u"nowhere"_s);
        QVERIFY_THROWS_EXCEPTION(KorvanError, s.exporter.StatusXML(u"4711"_s, u"12"_s, QString(), QString(), QString()));
        QVERIFY(s.files(s.backup()).isEmpty());
    }

    void paths()
    {
        QCOMPARE(exportPath(u"/srv/vxl/"_s, u"a.xml"_s), QDir::toNativeSeparators(u"/srv/vxl/a.xml"_s));
        QCOMPARE(exportPath(u"/srv/vxl"_s, u"a.xml"_s), QDir::toNativeSeparators(u"/srv/vxl/a.xml"_s));
        QCOMPARE(exportDirectory(u"/srv/vxl"_s, u"/opt/korvan"_s), u"/srv/vxl"_s);
        QCOMPARE(exportDirectory(u"uit"_s, u"/opt/korvan"_s), u"/opt/korvan/uit"_s);
#ifndef Q_OS_WIN
        QCOMPARE(exportDirectory(u"C:\\"_s, u"/opt/korvan"_s), u"/opt/korvan/VXLXML"_s);
#endif
    }

    // With the default setting the files land in the program directory's VXLXML.
    void defaultDirectory()
    {
        Site s;
        s.settings.xVXLUitgaand = Settings().xVXLUitgaand;
        s.settings.VXLBackup = false;
        s.exporter.StatusXML(u"4711"_s, u"14"_s, QString(), QString(), QString());
#ifndef Q_OS_WIN
        QCOMPARE(s.files(s.dir.filePath(u"VXLXML"_s)), QStringList { u"Ludor_14_4711_161216.xml"_s });
#endif
    }
};

QTEST_GUILESS_MAIN(TestStatusXml)
#include "tst_statusxml.moc"
