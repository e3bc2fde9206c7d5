#include "app/gateway.h"
#include "config/settingkeys.h"
#include "ui/lamp.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

// A connection that only records what the dispatcher answers.
class SilentConnection : public HostConnection
{
public:
    QString address() const override { return u"127.0.0.1"_s; }
    void write(const QString &text) override { written.append(text); }
    QStringList written;
};

// The value a setting holds, as text, the way its control shows it.
QString valueOf(const SettingKey &key, const Settings &settings)
{
    if (key.text)
        return settings.*key.text;
    if (key.check)
        return (settings.*key.check) ? u"true"_s : u"false"_s;
    if (key.number)
        return QString::number(settings.*key.number);
    if (key.lines)
        return (settings.*key.lines).join(u'\n');
    return {};
}

// What a setting control shows, as text.
QString shown(QWidget *control)
{
    if (auto *edit = qobject_cast<QLineEdit *>(control))
        return edit->text();
    if (auto *combo = qobject_cast<QComboBox *>(control))
        return combo->currentText();
    if (auto *box = qobject_cast<QCheckBox *>(control))
        return box->isChecked() ? u"true"_s : u"false"_s;
    if (auto *spin = qobject_cast<QDoubleSpinBox *>(control))
        return QString::number(spin->value());
    if (auto *memo = qobject_cast<QPlainTextEdit *>(control))
        return memo->toPlainText();
    return u"<unknown control>"_s;
}

// Edits a setting control as the operator would leave it: picks a listed item or types a text.
void edit(QWidget *control, const QString &value)
{
    if (auto *line = qobject_cast<QLineEdit *>(control)) {
        line->setText(value);
    } else if (auto *combo = qobject_cast<QComboBox *>(control)) {
        const int item = combo->findText(value);
        if (item >= 0)
            combo->setCurrentIndex(item);
        else
            combo->setEditText(value);
    } else if (auto *box = qobject_cast<QCheckBox *>(control)) {
        box->setChecked(value == "true"_L1);
    } else if (auto *spin = qobject_cast<QDoubleSpinBox *>(control)) {
        spin->setValue(value.toDouble());
    } else if (auto *memo = qobject_cast<QPlainTextEdit *>(control)) {
        memo->setPlainText(value);
    }
}

const SettingKey *findKey(const QString &name)
{
    for (const SettingKey &k : settingKeys())
        if (k.key == name)
            return &k;
    return nullptr;
}

// Answers the next modal dialog: records its caption and text, then hands it to `answer`.
// Any dialog after it, or the same one still open, is closed and counted, so that a test
// fails instead of waiting for ever.
class ModalWatch : public QObject
{
public:
    explicit ModalWatch(std::function<void(QWidget *)> answer) : m_answer(std::move(answer))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            if (seen) {
                ++unexpected;
                modal->close();
                return;
            }
            seen = true;
            caption = modal->windowTitle();
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                text = box->text();
            m_answer(modal);
        });
        m_timer.start(10);
    }
    bool seen = false;
    int unexpected = 0;
    QString caption;
    QString text;

private:
    std::function<void(QWidget *)> m_answer;
    QTimer m_timer;
};

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

    FixedClock m_clock { QDateTime(QDate(2026, 12, 8), QTime(20, 48, 16)) };
    Regional m_regional;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Gateway> m_gateway;
    std::unique_ptr<MainWindow> m_window;
    int m_asked = 0;
    bool m_answer = false;

    Gateway &g() { return *m_gateway; }
    MainWindow &w() { return *m_window; }

    template <typename T = QWidget>
    T *find(const QString &name)
    {
        return w().findChild<T *>(name);
    }

    // The defaults the window starts with here: the program's, but notifications stay local.
    static Settings expectedDefaults()
    {
        Settings s;
        s.NotifyAddress = u"127.0.0.1"_s;
        return s;
    }

    static int tabIndex(SettingKey::Tab tab)
    {
        switch (tab) {
        case SettingKey::Tab::Instellingen: return 0;
        case SettingKey::Tab::Parameters: return 3;
        case SettingKey::Tab::Vraagteken: return 7;
        case SettingKey::Tab::Est: return 8;
        case SettingKey::Tab::None: break;
        }
        return -1;
    }

    QStringList listShown(const QString &name)
    {
        auto *view = find<QListView>(name);
        if (!view || !view->model())
            return { u"<no list "_s + name + u'>' };
        QStringList rows;
        for (int r = 0; r < view->model()->rowCount(); ++r)
            rows.append(view->model()->index(r, 0).data().toString());
        return rows;
    }

    static QGroupBox *enclosingGroup(QWidget *w)
    {
        for (QWidget *p = w ? w->parentWidget() : nullptr; p; p = p->parentWidget())
            if (auto *box = qobject_cast<QGroupBox *>(p))
                return box;
        return nullptr;
    }

    bool hiddenOrMinimised() { return w().isHidden() || w().isMinimized(); }

private slots:
    void initTestCase()
    {
        m_regional.machineName = u"disp01"_s;
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_gateway = std::make_unique<Gateway>(m_dir->path(), m_clock, m_regional);
        g().create();
        // Nothing notifies before the window shows; from then on only this machine hears it.
        g().settings().NotifyAddress = u"127.0.0.1"_s;
        m_window = std::make_unique<MainWindow>(g());
        m_asked = 0;
        m_answer = false;
        w().confirmClose = [this] {
            ++m_asked;
            return m_answer;
        };
    }

    void cleanup()
    {
        m_window.reset();
        m_gateway.reset();
        m_dir.reset();
    }

    void frame()
    {
        QCOMPARE(w().size(), QSize(MainWindow::ClientWidth, MainWindow::ClientHeight));
        QCOMPARE(w().size(), QSize(1067, 510));
        QCOMPARE(w().minimumSize(), w().maximumSize());
        QCOMPARE(w().windowTitle(), Gateway::caption());
        QVERIFY(!(w().windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w().palette().color(QPalette::Window), QColor(Qt::white));

        QTabWidget *tabs = w().tabs();
        QCOMPARE(tabs->tabPosition(), QTabWidget::South);
        QStringList texts;
        for (int i = 0; i < tabs->count(); ++i)
            texts.append(tabs->tabText(i));
        QCOMPARE(texts, (QStringList { "Instellingen", "Logboek", "Verbindingen", "Parameters", "Ontvangen", "Verzenden",
                                       "Pakket", "?", "EST" }));
        QCOMPARE(tabs->currentIndex(), 0);
    }

    void buttons_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("hint");
        QTest::newRow("database test") << "Button3" << "TEST" << true << "Test database verbinding";
        QTest::newRow("queue-full test") << "Button6" << "Test" << true << "";
        QTest::newRow("export directory") << "SpeedButton4" << "..." << true << "Selecteer directory";
        QTest::newRow("test ride TIM") << "Button1" << "TIM" << true << "";
        QTest::newRow("test ride GRO") << "Button5" << "GRO" << true << "";
        QTest::newRow("position test") << "Button4" << "Verzenden" << true << "";
        QTest::newRow("voice test") << "Button2" << "Verzenden" << true << "";
    }
    void buttons()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        QFETCH(QString, hint);
        auto *b = find<QPushButton>(name);
        QVERIFY(b);
        QCOMPARE(b->text(), text);
        QCOMPARE(b->isEnabled(), enabled);
        QCOMPARE(b->toolTip(), hint);
    }

    void actions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("hide") << "BtnRedo" << "VERBERGEN NAAR TAAKBALK" << true;
        QTest::newRow("close") << "BtnSluiten" << "AFSLUITEN" << true;
        QTest::newRow("update check") << "BtnUpdate" << "CONTROLEER OP UPDATES" << true;
        QTest::newRow("tray update") << "TrayUpdate" << "Update" << true;
        QTest::newRow("tray details") << "TrayDetails" << "Details" << true;
        QTest::newRow("tray close") << "TraySluiten" << "Sluiten" << true;
    }
    void actions()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        auto *a = w().findChild<QAction *>(name);
        QVERIFY(a);
        QCOMPARE(a->text(), text);
        QCOMPARE(a->isEnabled(), enabled);
    }

    void tray()
    {
        QSystemTrayIcon *tray = w().trayIcon();
        QVERIFY(tray);
        QCOMPARE(tray->toolTip(), Gateway::caption());
        QVERIFY(!tray->icon().isNull());
        QVERIFY(tray->contextMenu());
        QStringList items;
        for (QAction *a : tray->contextMenu()->actions())
            items.append(a->isSeparator() ? u"-"_s : a->text());
        QCOMPARE(items, (QStringList { "Update", "Details", "-", "Sluiten" }));
    }

    // Every stored setting with a tab, and the company number, has its control.
    void settingControls_data()
    {
        QTest::addColumn<QString>("key");
        int rows = 0;
        for (const SettingKey &k : settingKeys()) {
            if (k.tab == SettingKey::Tab::None)
                continue;
            QTest::newRow(k.key.data()) << QString(k.key);
            ++rows;
        }
        QVERIFY(rows > 40);
    }
    void settingControls()
    {
        QFETCH(QString, key);
        const SettingKey *k = findKey(key);
        QVERIFY(k);
        auto *control = find(key);
        QVERIFY2(control, qPrintable(u"no control named "_s + key));

        // On its own tab, and in its group box when it has one.
        QWidget *page = w().tabs()->widget(tabIndex(k->tab));
        QVERIFY(page && page->isAncestorOf(control));
        if (!k->group.isEmpty()) {
            QGroupBox *box = enclosingGroup(control);
            QVERIFY(box);
            QCOMPARE(box->title(), QString(k->group));
        }

        // Its label: the check box's own text, or a label that names it.
        if (!k->label.isEmpty()) {
            if (auto *box = qobject_cast<QCheckBox *>(control)) {
                QCOMPARE(box->text(), QString(k->label));
            } else {
                QLabel *label = nullptr;
                for (QLabel *l : w().findChildren<QLabel *>())
                    if (l->buddy() == control)
                        label = l;
                QVERIFY2(label, "no label names the control");
                QCOMPARE(label->text(), QString(k->label));
            }
        }

        QCOMPARE(control->toolTip(), QString(k->hint));
        QCOMPARE(shown(control), valueOf(*k, expectedDefaults()));

        switch (k->kind) {
        case SettingKey::Kind::Secret:
            QCOMPARE(qobject_cast<QLineEdit *>(control)->echoMode(), QLineEdit::Password);
            break;
        case SettingKey::Kind::Text:
            QCOMPARE(qobject_cast<QLineEdit *>(control)->echoMode(), QLineEdit::Normal);
            break;
        case SettingKey::Kind::Choice:
            QVERIFY(qobject_cast<QComboBox *>(control)->isEditable());
            break;
        case SettingKey::Kind::Check:
            QVERIFY(qobject_cast<QCheckBox *>(control));
            break;
        case SettingKey::Kind::Number:
            QVERIFY(qobject_cast<QDoubleSpinBox *>(control));
            break;
        case SettingKey::Kind::Lines:
            QVERIFY(qobject_cast<QPlainTextEdit *>(control));
            break;
        case SettingKey::Kind::Attributes:
            QFAIL("a key without a control has a tab");
        }
    }

    void choices()
    {
        auto *combo = find<QComboBox>(u"RamID_Text"_s);
        QVERIFY(combo);
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items.append(combo->itemText(i));
        QCOMPARE(items, QStringList({ u"CONNECT_97"_s, u"CONNECT_2000"_s, u"CONNECT_PE"_s }));
        QCOMPARE(combo->currentText(), u"CONNECT_2000"_s);
    }

    // The number beside the polling check box.
    void pollMinutesBesideItsCheckBox()
    {
        auto *check = find(u"RGD_Checked"_s);
        auto *minutes = find(u"RGDMIN_Value"_s);
        QVERIFY(check && minutes);
        QCOMPARE(minutes->parentWidget(), check->parentWidget());
        w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w()));
        w().tabs()->setCurrentIndex(7);
        const QRect c(check->mapTo(&w(), QPoint()), check->size());
        const QRect m(minutes->mapTo(&w(), QPoint()), minutes->size());
        QVERIFY(m.left() >= c.right());
        QVERIFY(m.top() < c.bottom() && c.top() < m.bottom());
    }

    void companyNumber()
    {
        auto *edit = find<QLineEdit>(u"Bedrijfsnummer"_s);
        QVERIFY(edit);
        QCOMPARE(edit->text(), Settings().Bedrijfsnummer);
        QVERIFY(w().tabs()->widget(0)->isAncestorOf(edit));
        QLabel *label = nullptr;
        for (QLabel *l : w().findChildren<QLabel *>())
            if (l->buddy() == edit)
                label = l;
        QVERIFY(label);
        QCOMPARE(label->text(), u"Bedrijfsnummer"_s);
        // Beside the user number.
        QCOMPARE(enclosingGroup(edit), enclosingGroup(find(u"Gebruikersnummer_Text"_s)));
        QVERIFY(enclosingGroup(edit));
    }

    void testFields_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("label");
        QTest::newRow("ride") << "TestRit" << "Ritnummer";
        QTest::newRow("vehicle") << "TestWagen" << "Wagennummer";
        QTest::newRow("voice vehicle") << "SpraakWagen" << "Wagennummer spraaktest";
        QTest::newRow("position IMEI") << "GPSIMEI" << "GPS locatie test (IMEI)";
    }
    void testFields()
    {
        QFETCH(QString, name);
        QFETCH(QString, label);
        auto *edit = find<QLineEdit>(name);
        QVERIFY(edit);
        QVERIFY(w().tabs()->widget(5)->isAncestorOf(edit));
        QCOMPARE(edit->text(), u"0"_s);
        QLabel *named = nullptr;
        for (QLabel *l : w().findChildren<QLabel *>())
            if (l->buddy() == edit)
                named = l;
        QVERIFY(named);
        QCOMPARE(named->text(), label);
    }

    // An edit reaches the gateway's settings at once.
    void editing_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("text") << "xLoginServer_Text" << "db01\\SQLEXPRESS";
        QTest::newRow("text emptied") << "RamGetalMax_Text" << "";
        QTest::newRow("masked text") << "xPaswoordSQL_Text" << "geheim&<>";
        QTest::newRow("choice picked") << "RamID_Text" << "CONNECT_PE";
        QTest::newRow("choice typed") << "RamID_Text" << "CONNECT_3000";
        QTest::newRow("group text") << "vv4_Text" << "0D";
        QTest::newRow("check on") << "RamActive_Checked" << "true";
        QTest::newRow("check off") << "apxsv1_Checked" << "false";
        QTest::newRow("number") << "RGDMIN_Value" << "5";
        QTest::newRow("number fraction") << "RGDMIN_Value" << "2.5";
        QTest::newRow("lines") << "ESTLIJST_Lines" << "1=SPRAAK\n2=bellen";
        QTest::newRow("lines emptied") << "ESTLIJST_Lines" << "";
    }
    void editing()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        const SettingKey *k = findKey(key);
        QVERIFY(k);
        QVERIFY2(valueOf(*k, g().settings()) != value, "the edit must change something");
        QWidget *control = find(key);
        QVERIFY(control);
        edit(control, value);
        QCOMPARE(valueOf(*k, g().settings()), value);
        if (k->lines && value.isEmpty())
            QVERIFY(g().settings().ESTLIJST.isEmpty());
    }

    void editingCompanyNumber()
    {
        auto *edit = find<QLineEdit>(u"Bedrijfsnummer"_s);
        QVERIFY(edit);
        edit->setText(u"7"_s);
        QCOMPARE(g().settings().Bedrijfsnummer, u"7"_s);
    }

    void lamps_data()
    {
        QTest::addColumn<bool>("database");
        QTest::addColumn<bool>("server");
        QTest::newRow("both on") << true << true;
        QTest::newRow("database only") << true << false;
        QTest::newRow("server only") << false << true;
    }
    void lamps()
    {
        QFETCH(bool, database);
        QFETCH(bool, server);
        auto *databaseLamp = find<Lamp>(u"DatabaseLamp"_s);
        auto *serverLamp = find<Lamp>(u"ServerLamp"_s);
        auto *driverLamp = find<Lamp>(u"DriverLamp"_s);
        QVERIFY(databaseLamp && serverLamp && driverLamp);
        QVERIFY(!databaseLamp->isOn() && !serverLamp->isOn() && !driverLamp->isOn());

        g().link().setLamps(database, server);
        QCOMPARE(databaseLamp->isOn(), database);
        QCOMPARE(serverLamp->isOn(), server);
        g().link().setLamps(false, false);
        QVERIFY(!databaseLamp->isOn() && !serverLamp->isOn());

        g().link().addConnection(u"192.0.2.7"_s);
        QVERIFY(driverLamp->isOn());
        g().link().removeConnection(u"192.0.2.7"_s);
        QVERIFY(!driverLamp->isOn());
    }

    void lampLabels()
    {
        QStringList texts;
        for (QLabel *l : w().tabs()->widget(0)->findChildren<QLabel *>())
            texts.append(l->text());
        for (const char *label : { "Server status", "RAMSERV DRIVER ACTIEF" })
            QVERIFY2(texts.contains(QLatin1StringView(label)), label);
    }

    void logView()
    {
        auto *view = find<QPlainTextEdit>(u"RamLog"_s);
        QVERIFY(view);
        QVERIFY(view->isReadOnly());
        QCOMPARE(view->lineWrapMode(), QPlainTextEdit::NoWrap);

        g().log().Logger(u"M-> test"_s);
        QCOMPARE(view->toPlainText().split(u'\n'), g().log().lines());
        QVERIFY(view->toPlainText().endsWith(u"M-> test"_s));

        g().log().Logger(u"M-> een\nM-> twee"_s);
        QCOMPARE(view->toPlainText().split(u'\n'), g().log().lines());
        QVERIFY(view->toPlainText().endsWith(u"M-> twee"_s));

        g().log().resetTo(u"opnieuw"_s);
        QCOMPARE(view->toPlainText().split(u'\n'), g().log().lines());
        QVERIFY(!view->toPlainText().contains(u"M-> test"_s));

        // Past its ceiling the log writes itself away; the view holds no more than the log.
        for (int i = 0; i <= Log::Ceiling; ++i)
            g().log().Logger(u"M-> vol"_s);
        QVERIFY(g().log().lines().size() < Log::Ceiling);
        QCOMPARE(view->blockCount(), std::max<qsizetype>(1, g().log().lines().size()));
        QCOMPARE(view->toPlainText().split(u'\n'), g().log().lines().isEmpty() ? QStringList { QString() } : g().log().lines());
    }

    // The newest lines in view, each from its start, however long the lines are.
    void logViewScrolling()
    {
        auto *view = find<QPlainTextEdit>(u"RamLog"_s);
        QVERIFY(view);
        for (int i = 0; i < 200; ++i)
            g().log().Logger(u"M-> regel "_s + QString::number(i) + u' ' + QString(300, u'x'));
        w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w()));
        w().tabs()->setCurrentWidget(view);
        QTRY_VERIFY(view->isVisible());
        QVERIFY(view->horizontalScrollBar()->maximum() > 0);
        QCOMPARE(view->horizontalScrollBar()->value(), 0);
        QCOMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());

        g().log().Logger(u"M-> nog een "_s + QString(300, u'y'));
        QCOMPARE(view->horizontalScrollBar()->value(), 0);
        QCOMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());

        // Scrolled back to read, the view stays where the operator put it.
        view->verticalScrollBar()->setValue(0);
        g().log().Logger(u"M-> en nog een"_s);
        QCOMPARE(view->verticalScrollBar()->value(), 0);
    }

    // A log written before the window opened is in the view from the start.
    void logViewStartsWithTheLog()
    {
        m_window.reset();
        g().log().Logger(u"M-> eerder"_s);
        m_window = std::make_unique<MainWindow>(g());
        auto *view = find<QPlainTextEdit>(u"RamLog"_s);
        QVERIFY(view);
        QCOMPARE(view->toPlainText().split(u'\n'), g().log().lines());
    }

    void lists()
    {
        g().queue().append(u"[RS2_RGD_REQ,0042]"_s);
        g().queue().append(u"[RS2_RGD_REQ,0043]"_s);
        QCOMPARE(listShown(u"RamQOut"_s), g().queue().messages());
        g().queue().removeFirst();
        QCOMPARE(listShown(u"RamQOut"_s), QStringList { u"[RS2_RGD_REQ,0043]"_s });

        g().link().addConnection(u"192.0.2.7"_s);
        g().link().addConnection(u"192.0.2.8"_s);
        QCOMPARE(listShown(u"RamConnections"_s), g().link().connections());
        QCOMPARE(listShown(u"RamConnections"_s).size(), 2);

        g().log().addReceived(u"[RS2_CHAT_ACK]"_s);
        g().log().addReceived(u"[RS2_VRY_ACK]"_s);
        QCOMPARE(listShown(u"TimQIn"_s), g().log().received());
        QCOMPARE(listShown(u"TimQIn"_s).size(), 2);
        // Past its ceiling the received list goes to its file, and the list shown follows.
        while (!g().log().received().isEmpty())
            g().log().addReceived(u"[RS2_CONN_TEST]"_s);
        QCOMPARE(listShown(u"TimQIn"_s), QStringList());

        SilentConnection connection;
        g().dispatcher().onRead(connection, u"[RS2_GRO_ACK,17]"_s);
        QVERIFY(!g().dispatcher().fields().isEmpty());
        QCOMPARE(listShown(u"IDARR"_s), g().dispatcher().fields());
        QCOMPARE(listShown(u"IDARR"_s).constFirst(), u"RS2_GRO_ACK"_s);
    }

    // Every route to close asks first; only "Yes" shuts the gateway down.
    void closing_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<bool>("answer");
        for (const char *route : { "AFSLUITEN", "tray Sluiten", "close box" }) {
            QTest::addRow("%s, No", route) << QString::fromLatin1(route) << false;
            QTest::addRow("%s, Yes", route) << QString::fromLatin1(route) << true;
        }
    }
    void closing()
    {
        QFETCH(QString, route);
        QFETCH(bool, answer);
        w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w()));
        const QStringList logBefore = g().log().lines();
        m_answer = answer;

        if (route == "AFSLUITEN"_L1)
            w().findChild<QAction *>(u"BtnSluiten"_s)->trigger();
        else if (route == "tray Sluiten"_L1)
            w().findChild<QAction *>(u"TraySluiten"_s)->trigger();
        else
            w().close();

        QCOMPARE(m_asked, 1);
        QCOMPARE(g().closing(), answer);
        QCOMPARE(w().isVisible(), !answer);
        if (answer) {
            QVERIFY(g().settingsCopied());
            QVERIFY(!g().log().lines().filter(u"M-> Ludor Korvan TIM server normaal uitgeschakeld"_s).isEmpty());
        } else {
            QCOMPARE(g().log().lines(), logBefore);
            QVERIFY(!g().settingsCopied());
            QVERIFY(g().ramQOutTimer().isActive());
        }
    }

    // Closing from the notification area asks too, and ends the program.
    void closingWhileHidden()
    {
        w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w()));
        w().hide();
        m_answer = true;
        w().findChild<QAction *>(u"TraySluiten"_s)->trigger();
        QCOMPARE(m_asked, 1);
        QVERIFY(g().closing());
    }

    void theQuestion()
    {
        MainWindow window(g());
        // Return takes the default button, which must be "No".
        ModalWatch watch([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Return); });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.close();
        QVERIFY(watch.seen);
        QCOMPARE(watch.unexpected, 0);
        QCOMPARE(watch.caption, u"Afsluiten software"_s);
        QCOMPARE(watch.text, u"Wenst u de Ludor Korvan TIM koppeling af te sluiten?"_s);
        QVERIFY(window.isVisible());
        QVERIFY(!g().closing());
    }

    void hiding()
    {
        w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w()));
        QVERIFY(!g().settingsCopied());
        w().findChild<QAction *>(u"BtnRedo"_s)->trigger();
        QVERIFY(g().settingsCopied());
        if (QSystemTrayIcon::isSystemTrayAvailable())
            QVERIFY(w().isHidden());
        else
            QTRY_VERIFY(w().isMinimized());
    }

    void hideTimer_data()
    {
        QTest::addColumn<bool>("minimise");
        QTest::newRow("Minimaliseren ticked") << true;
        QTest::newRow("Minimaliseren not ticked") << false;
    }
    void hideTimer()
    {
        QFETCH(bool, minimise);
        w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w()));
        find<QCheckBox>(u"Minimaliseren_Checked"_s)->setChecked(minimise);
        g().VerbergenTimer();
        if (minimise)
            QTRY_VERIFY(hiddenOrMinimised());
        else
            QVERIFY(!hiddenOrMinimised());
        // Hiding by itself stores nothing.
        QVERIFY(!g().settingsCopied());
    }

    // "Details" shows the window again, and the gateway runs its start of showing.
    void details()
    {
        w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w()));
        w().hide();
        g().ramQOutTimer().stop();
        g().verbergenTimer().stop();
        w().findChild<QAction *>(u"TrayDetails"_s)->trigger();
        QVERIFY(w().isVisible());
        QVERIFY(g().ramQOutTimer().isActive());
        QVERIFY(g().verbergenTimer().isActive());
    }

    // A window already showing is not shown again.
    void detailsWhileVisible()
    {
        w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w()));
        g().ramQOutTimer().stop();
        w().findChild<QAction *>(u"TrayDetails"_s)->trigger();
        QVERIFY(w().isVisible());
        QVERIFY(!g().ramQOutTimer().isActive());
    }

    void showingStartsTheGateway()
    {
        QVERIFY(!g().ramQOutTimer().isActive());
        w().show();
        QVERIFY(g().ramQOutTimer().isActive());
        QVERIFY(g().verbergenTimer().isActive());
        QVERIFY(!g().closing());
    }

    void destroyedWithoutShutdownCopiesSettings()
    {
        find<QLineEdit>(u"xLoginServer_Text"_s)->setText(u"db02"_s);
        QVERIFY(!g().settingsCopied());
        m_window.reset();
        QVERIFY(g().settingsCopied());
    }

    void databaseTest_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("opens");
        QTest::newRow("unknown database type") << "ORACLE" << false;
        QTest::newRow("SQLite file") << "SQLITE" << true;
    }
    void databaseTest()
    {
        QFETCH(QString, type);
        QFETCH(bool, opens);
        QFile file(m_dir->filePath(u"test.db"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        edit(find(u"xDatabaseType_Text"_s), type);
        edit(find(u"xLoginDatabase_Text"_s), u"test.db"_s);
        const qsizetype logged = g().log().lines().size();

        bool openWhileShown = false;
        ModalWatch watch([&](QWidget *modal) {
            openWhileShown = g().database().isOpen();
            modal->close();
        });
        QTest::mouseClick(find<QPushButton>(u"Button3"_s), Qt::LeftButton);
        QCOMPARE(watch.seen, opens);
        QCOMPARE(watch.unexpected, 0);
        QVERIFY(!g().database().isOpen());
        if (opens) {
            // Open, box, close: in that order.
            QVERIFY(openWhileShown);
            QCOMPARE(watch.caption, u"Database koppeling"_s);
            QCOMPARE(watch.text, u"Ludor Korvan SQL werd database met succes geopend"_s);
        } else {
            QVERIFY(g().log().lines().size() > logged);
            QVERIFY(g().log().lines().constLast().contains(type));
        }
    }

    // The test sends of the tab "Verzenden" reach the output; what fails is logged, never shown.
    void testSends()
    {
        while (!g().queue().isEmpty())
            g().queue().removeFirst();
        edit(find(u"GPSIMEI"_s), u"0042"_s);
        QTest::mouseClick(find<QPushButton>(u"Button4"_s), Qt::LeftButton);
        QCOMPARE(g().queue().messages(), QStringList { u"[RS2_RGD_REQ,0042]"_s });

        edit(find(u"TestRit"_s), u"abc"_s);
        QTest::mouseClick(find<QPushButton>(u"Button1"_s), Qt::LeftButton);
        QCOMPARE(g().log().lines().constLast().mid(15), u"M-> Ongeldig ritnummer: abc"_s);
        QCOMPARE(g().queue().size(), 1);
    }

    // The queue-full test posts its status message; without a database that fails and is logged.
    void queueFullTest()
    {
        edit(find(u"xDatabaseType_Text"_s), u"ORACLE"_s);
        const qsizetype logged = g().log().lines().size();
        QTest::mouseClick(find<QPushButton>(u"Button6"_s), Qt::LeftButton);
        QVERIFY(g().log().lines().size() > logged);
        QVERIFY(g().log().lines().constLast().contains(u"M-> "_s));
    }

    void exportDirectory()
    {
        QVERIFY(QDir(m_dir->path()).mkpath(u"VXLXML/UIT"_s));
        const QString picked = QDir(m_dir->path()).filePath(u"VXLXML/UIT"_s);
        ModalWatch watch([picked](QWidget *modal) {
            if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
                dialog->setDirectory(picked);
                QMetaObject::invokeMethod(dialog, "accept");
            } else {
                modal->close();
            }
        });
        QTest::mouseClick(find<QPushButton>(u"SpeedButton4"_s), Qt::LeftButton);
        QVERIFY(watch.seen);
        QCOMPARE(watch.unexpected, 0);
        QCOMPARE(watch.caption, u"XML bestanden"_s);
        QCOMPARE(QFileInfo(g().settings().xVXLUitgaand).canonicalFilePath(), QFileInfo(picked).canonicalFilePath());
        QCOMPARE(find<QLineEdit>(u"xVXLUitgaand_Text"_s)->text(), g().settings().xVXLUitgaand);
    }

    // With KORVAN_SCREENSHOT=path.png: the window, and each tab beside it as path-N.png.
    void screenshot()
    {
        const QString path = qEnvironmentVariable("KORVAN_SCREENSHOT");
        if (path.isEmpty())
            QSKIP("KORVAN_SCREENSHOT not set");
        g().log().Logger(u"M-> Ludor Korvan TIM communicatie wordt opgestart"_s);
        w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w()));
        const QFileInfo target(path);
        for (int i = w().tabs()->count() - 1; i >= 0; --i) {
            w().tabs()->setCurrentIndex(i);
            QTest::qWait(50);
            const QString name = i == 0 ? path : target.path() + u'/' + target.completeBaseName() + u'-' + QString::number(i) + u".png"_s;
            QVERIFY(w().grab().save(name));
        }
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
