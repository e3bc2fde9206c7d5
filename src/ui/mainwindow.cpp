#include "mainwindow.h"

#include "app/gateway.h"
#include "config/settingkeys.h"
#include "lamp.h"
#include "logview.h"
#include "picture.h"
#include "settingcontrols.h"

#include <QAction>
#include <algorithm>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>

#include <functional>
#include <QPushButton>
#include <QScreen>
#include <QStringListModel>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace {

using Tab = SettingKey::Tab;
using Kind = SettingKey::Kind;

QList<const SettingKey *> keysOn(Tab tab)
{
    QList<const SettingKey *> keys;
    for (const SettingKey &k : settingKeys())
        if (k.tab == tab)
            keys.append(&k);
    return keys;
}

QPushButton *button(const QString &text, const QString &name, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}

// A control with something beside it, as one field of a form.
QWidget *beside(QWidget *field, std::initializer_list<QWidget *> extras)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(field, 1);
    for (QWidget *w : extras)
        layout->addWidget(w);
    return row;
}

QWidget *lampRow(Lamp *lamp, const QString &text)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->addWidget(lamp);
    layout->addWidget(new QLabel(text));
    layout->addStretch();
    return row;
}

// A check box spans the form; any other control gets its label, which names it as buddy.
void addRow(QFormLayout *form, const SettingKey &key, QWidget *control, QWidget *field = nullptr)
{
    if (key.kind == Kind::Check)
        form->addRow(field ? field : control);
    else
        form->addRow(QString(key.label), field ? field : control);
    if (field && key.kind != Kind::Check)
        if (auto *label = qobject_cast<QLabel *>(form->labelForField(field)))
            label->setBuddy(control);
}

} // namespace

MainWindow::MainWindow(Gateway &gateway, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint)
    , confirmClose([this] { return askClose(); })
    , updatePrompts(UpdatePrompts::standard(this))
    , m_gateway(gateway)
{
    updatePrompts.log = [this](const QString &line) { m_gateway.log().Logger(line); };
    setWindowTitle(Gateway::caption());
    setWindowIcon(applicationIcon());
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    m_tabs = new QTabWidget;
    m_tabs->setObjectName(u"PageControl"_s);
    m_tabs->setTabPosition(QTabWidget::South);
    m_tabs->addTab(settingsPage(), u"Instellingen"_s);
    m_tabs->addTab(logPage(), u"Logboek"_s);

    auto *connections = new QStringListModel(gateway.link().connections(), this);
    connect(&gateway.link(), &LinkState::connectionsChanged, connections, &QStringListModel::setStringList);
    m_tabs->addTab(listPage(u"RamConnections"_s, connections), u"Verbindingen"_s);

    m_tabs->addTab(parametersPage(), u"Parameters"_s);

    auto *received = new QStringListModel(gateway.log().received(), this);
    connect(&gateway.log(), &Log::receivedAdded, received, [received](const QString &chunk) {
        const int row = received->rowCount();
        received->insertRows(row, 1);
        received->setData(received->index(row), chunk);
    });
    connect(&gateway.log(), &Log::receivedReset, received, [received, &gateway] { received->setStringList(gateway.log().received()); });
    m_tabs->addTab(listPage(u"TimQIn"_s, received), u"Ontvangen"_s);

    m_tabs->addTab(sendPage(), u"Verzenden"_s);

    auto *fields = new QStringListModel(gateway.dispatcher().fields(), this);
    connect(&gateway.dispatcher(), &InboundDispatcher::fieldsChanged, fields, &QStringListModel::setStringList);
    m_tabs->addTab(listPage(u"IDARR"_s, fields), u"Pakket"_s);

    m_tabs->addTab(optionsPage(), u"?"_s);
    m_tabs->addTab(statusListPage(), u"EST"_s);
    m_tabs->setCurrentIndex(0);

    auto *toolBar = new QToolBar;
    toolBar->setObjectName(u"ToolBar"_s);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar->setMovable(false);
    QAction *hideAction = toolBar->addAction(style()->standardIcon(QStyle::SP_TitleBarMinButton), u"VERBERGEN NAAR TAAKBALK"_s,
                                             this, &MainWindow::BtnRedoClick);
    hideAction->setObjectName(u"BtnRedo"_s);
    QAction *closeAction = toolBar->addAction(style()->standardIcon(QStyle::SP_DialogCloseButton), u"AFSLUITEN"_s, this,
                                              &MainWindow::BtnSluitenClick);
    closeAction->setObjectName(u"BtnSluiten"_s);
    auto *spacer = new QWidget;
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolBar->addWidget(spacer);
    QAction *updateAction = toolBar->addAction(style()->standardIcon(QStyle::SP_BrowserReload), u"CONTROLEER OP UPDATES"_s,
                                               this, &MainWindow::BtnUpdateClick);
    updateAction->setObjectName(u"BtnUpdate"_s);
    updateAction->setToolTip(u"Controleer de software op updates"_s);

    auto *top = new QHBoxLayout;
    top->setContentsMargins(4, 4, 0, 0);
    top->setSpacing(4);
    top->addWidget(m_tabs, 1);
    top->addWidget(new SidePicture);
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addLayout(top, 1);
    root->addWidget(toolBar);

    setFixedSize(ClientWidth, ClientHeight);
    if (const QScreen *s = screen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), s->availableGeometry()));

    createTray();
    connect(&gateway, &Gateway::hideRequested, this, &MainWindow::hideToTray);
}

MainWindow::~MainWindow()
{
    // Destroyed without the shutdown: the operator's changes still reach the configuration file.
    if (!m_shutDown && !m_gateway.settingsCopied())
        m_gateway.copySettings();
}

QWidget *MainWindow::control(const SettingKey &key)
{
    return createSettingControl(key, m_gateway.settings(), nullptr);
}

QWidget *MainWindow::settingsPage()
{
    auto *page = new QWidget;
    auto *database = new QGroupBox(u"Database"_s);
    auto *databaseForm = new QFormLayout(database);
    auto *server = new QGroupBox(u"Server"_s);
    auto *serverForm = new QFormLayout(server);
    auto *general = new QGroupBox(u"Algemeen"_s);
    auto *generalForm = new QFormLayout(general);

    // Everything on this tab is about the database but the listener's and the start-up settings.
    auto formFor = [&](const SettingKey &k) {
        if (k.text == &Settings::RamPoort || k.check == &Settings::RamActive || k.text == &Settings::AllowedHosts
            || k.text == &Settings::ListenAddress)
            return serverForm;
        if (k.text == &Settings::Gebruikersnummer || k.text == &Settings::Bedrijfsnummer || k.check == &Settings::Minimaliseren)
            return generalForm;
        return databaseForm;
    };
    QList<const SettingKey *> keys = keysOn(Tab::Instellingen);
    keys.append(&companyNumberKey());
    // Minimaliseren after the company number, so that the two numbers stand together.
    std::stable_partition(keys.begin(), keys.end(), [](const SettingKey *k) { return k->check != &Settings::Minimaliseren; });
    for (const SettingKey *k : keys) {
        QWidget *c = control(*k);
        QWidget *field = nullptr;
        if (k->text == &Settings::xLoginDatabase) {
            QPushButton *test = button(u"TEST"_s, u"Button3"_s, page);
            test->setToolTip(u"Test database verbinding"_s);
            connect(test, &QPushButton::clicked, this, &MainWindow::Button3Click);
            field = beside(c, { test });
        }
        addRow(formFor(*k), *k, c, field);
    }

    auto *databaseLamp = new Lamp;
    databaseLamp->setObjectName(u"DatabaseLamp"_s);
    auto *serverLamp = new Lamp;
    serverLamp->setObjectName(u"ServerLamp"_s);
    auto *driverLamp = new Lamp;
    driverLamp->setObjectName(u"DriverLamp"_s);
    LinkState &link = m_gateway.link();
    databaseLamp->setOn(link.databaseLamp());
    serverLamp->setOn(link.serverLamp());
    driverLamp->setOn(link.driverLamp());
    connect(&link, &LinkState::lampsChanged, databaseLamp, [databaseLamp, serverLamp](bool db, bool listening) {
        databaseLamp->setOn(db);
        serverLamp->setOn(listening);
    });
    connect(&link, &LinkState::driverLampChanged, driverLamp, &Lamp::setOn);
    databaseForm->addRow(lampRow(databaseLamp, u"Database status"_s));
    serverForm->addRow(lampRow(serverLamp, u"Server status"_s));
    serverForm->addRow(lampRow(driverLamp, u"RAMSERV DRIVER ACTIEF"_s));

    auto *right = new QVBoxLayout;
    right->addWidget(server);
    right->addWidget(general);
    right->addStretch();
    auto *left = new QVBoxLayout;
    left->addWidget(database);
    left->addStretch();
    auto *layout = new QHBoxLayout(page);
    layout->addLayout(left, 1);
    layout->addLayout(right, 1);
    return page;
}

QWidget *MainWindow::logPage()
{
    return new LogView(m_gateway.log());
}

QWidget *MainWindow::listPage(const QString &name, QStringListModel *model)
{
    auto *view = new QListView;
    view->setObjectName(name);
    view->setModel(model);
    view->setUniformItemSizes(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    return view;
}

QWidget *MainWindow::parametersPage()
{
    auto *page = new QWidget;
    auto *link = new QGroupBox(u"Koppeling"_s);
    auto *linkForm = new QFormLayout(link);
    QList<QPair<QString, QFormLayout *>> groups;
    auto *groupColumn = new QVBoxLayout;

    for (const SettingKey *k : keysOn(Tab::Parameters)) {
        QFormLayout *form = linkForm;
        if (!k->group.isEmpty()) {
            const QString title(k->group);
            auto it = std::find_if(groups.begin(), groups.end(), [&](const auto &g) { return g.first == title; });
            if (it == groups.end()) {
                auto *box = new QGroupBox(title);
                groups.append({ title, new QFormLayout(box) });
                groupColumn->addWidget(box);
                it = groups.end() - 1;
            }
            form = it->second;
        }
        QWidget *c = control(*k);
        QWidget *field = nullptr;
        if (k->text == &Settings::RamGetalMax) {
            QPushButton *test = button(u"Test"_s, u"Button6"_s, page);
            connect(test, &QPushButton::clicked, this, &MainWindow::Button6Click);
            field = beside(c, { test });
        }
        if (form != linkForm)
            c->setMaximumWidth(80); // transport-kind codes are two characters
        addRow(form, *k, c, field);
    }
    groupColumn->addStretch();
    auto *left = new QVBoxLayout;
    left->addWidget(link);
    left->addStretch();
    auto *layout = new QHBoxLayout(page);
    layout->addLayout(left, 3);
    layout->addLayout(groupColumn, 2);
    return page;
}

QWidget *MainWindow::sendPage()
{
    auto *page = new QWidget;
    auto *queue = new QStringListModel(m_gateway.queue().messages(), this);
    connect(&m_gateway.queue(), &OutgoingQueue::changed, queue, &QStringListModel::setStringList);

    auto testField = [page](const QString &name) {
        auto *edit = new QLineEdit(u"0"_s, page);
        edit->setObjectName(name);
        return edit;
    };
    QLineEdit *testRide = testField(u"TestRit"_s);
    QLineEdit *testVehicle = testField(u"TestWagen"_s);
    QLineEdit *voiceVehicle = testField(u"SpraakWagen"_s);
    QLineEdit *gpsImei = testField(u"GPSIMEI"_s);
    // Each test send runs in the application-wide guard: a ride number that is not a number,
    // or a lost database, is logged, never shown.
    auto testButton = [this, page](const QString &text, const QString &name, std::function<void()> send) {
        QPushButton *b = button(text, name, page);
        connect(b, &QPushButton::clicked, this, [this, send] { m_gateway.errors().guard(send); });
        return b;
    };
    Output &output = m_gateway.output();
    Polling &polling = m_gateway.polling();

    auto *ride = new QGroupBox(u"Rit testen"_s);
    auto *rideForm = new QFormLayout(ride);
    rideForm->addRow(u"Ritnummer"_s, testRide);
    rideForm->addRow(u"Wagennummer"_s, testVehicle);
    auto *rideButtons = new QHBoxLayout;
    rideButtons->addWidget(testButton(u"TIM"_s, u"Button1"_s, [&output, testRide, testVehicle] {
        output.Tim_enkel(testRide->text(), testVehicle->text());
    }));
    rideButtons->addWidget(testButton(u"GRO"_s, u"Button5"_s, [&output, testRide, testVehicle] {
        output.GRO_enkel(testRide->text(), testVehicle->text());
    }));
    rideForm->addRow(rideButtons);

    auto *voice = new QGroupBox(u"Spraak testen"_s);
    auto *voiceForm = new QFormLayout(voice);
    voiceForm->addRow(u"Wagennummer spraaktest"_s, voiceVehicle);
    voiceForm->addRow(testButton(u"Verzenden"_s, u"Button2"_s, [&polling, voiceVehicle] { polling.sendVoiceTest(voiceVehicle->text()); }));

    auto *position = new QGroupBox(u"GPS testen"_s);
    auto *positionForm = new QFormLayout(position);
    positionForm->addRow(u"GPS locatie test (IMEI)"_s, gpsImei);
    positionForm->addRow(testButton(u"Verzenden"_s, u"Button4"_s, [&polling, gpsImei] { polling.sendPositionTest(gpsImei->text()); }));

    auto *tests = new QVBoxLayout;
    tests->addWidget(ride);
    tests->addWidget(voice);
    tests->addWidget(position);
    tests->addStretch();
    auto *layout = new QHBoxLayout(page);
    layout->addWidget(listPage(u"RamQOut"_s, queue), 3);
    layout->addLayout(tests, 2);
    return page;
}

QWidget *MainWindow::optionsPage()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout;
    // Rows of controls; a control without a label of its own goes beside the one before it.
    QList<QList<QWidget *>> checks;
    for (const SettingKey *k : keysOn(Tab::Vraagteken)) {
        QWidget *c = control(*k);
        if (k->label.isEmpty() && !checks.isEmpty()) {
            checks.last().append(c);
        } else if (k->kind == Kind::Check) {
            checks.append({ c });
        } else {
            QWidget *field = nullptr;
            if (k->text == &Settings::xVXLUitgaand) {
                m_exportDir = qobject_cast<QLineEdit *>(c);
                QPushButton *pick = button(u"..."_s, u"SpeedButton4"_s, page);
                pick->setToolTip(u"Selecteer directory"_s);
                pick->setFixedWidth(32);
                connect(pick, &QPushButton::clicked, this, &MainWindow::SpeedButton4Click);
                field = beside(c, { pick });
            }
            addRow(form, *k, c, field);
        }
    }
    auto *grid = new QGridLayout;
    grid->setVerticalSpacing(3);
    const qsizetype rows = (checks.size() + 1) / 2;
    for (qsizetype i = 0; i < checks.size(); ++i) {
        auto *row = new QHBoxLayout;
        for (QWidget *w : checks[i])
            row->addWidget(w);
        row->addStretch();
        grid->addLayout(row, int(i % rows), int(i / rows));
    }
    auto *layout = new QVBoxLayout(page);
    layout->addLayout(form);
    layout->addLayout(grid);
    layout->addStretch();
    return page;
}

QWidget *MainWindow::statusListPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(u"Statusnummers, een per regel: nummer=omschrijving"_s));
    for (const SettingKey *k : keysOn(Tab::Est))
        if (QWidget *c = control(*k))
            layout->addWidget(c, 1);
    return page;
}

void MainWindow::createTray()
{
    m_tray = new QSystemTrayIcon(applicationIcon(), this);
    m_tray->setToolTip(Gateway::caption());
    auto *menu = new QMenu(this);
    menu->addAction(u"Update"_s, this, &MainWindow::BtnUpdateClick)->setObjectName(u"TrayUpdate"_s);
    menu->addAction(u"Details"_s, this, &MainWindow::Details1Click)->setObjectName(u"TrayDetails"_s);
    menu->addSeparator();
    menu->addAction(u"Sluiten"_s, this, &MainWindow::BtnSluitenClick)->setObjectName(u"TraySluiten"_s);
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            Details1Click();
    });
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_tray->show();
}

void MainWindow::BtnRedoClick()
{
    m_gateway.copySettings();
    hideToTray();
}

void MainWindow::BtnSluitenClick()
{
    close();
}

void MainWindow::Details1Click()
{
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::hideToTray()
{
    // Without a notification area a hidden window could not be brought back.
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray->show();
        hide();
    } else {
        showMinimized();
    }
}

void MainWindow::Button3Click()
{
    // The box shows while the connection is open; it closes when the operator has read it.
    m_gateway.Button3Click([this] {
        QMessageBox::information(this, u"Database koppeling"_s, u"Ludor Korvan SQL werd database met succes geopend"_s);
    });
}

void MainWindow::Button6Click()
{
    m_gateway.Button6Click();
}

void MainWindow::SpeedButton4Click()
{
    // The default is a Windows drive; where the folder does not exist the picker starts where it likes.
    const QString current = m_exportDir->text();
    const QString dir = QFileDialog::getExistingDirectory(this, u"XML bestanden"_s, QFileInfo(current).isDir() ? current : QString());
    if (!dir.isEmpty())
        m_exportDir->setText(QDir::toNativeSeparators(dir));
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Start-up and "Details" show the window from code. A spontaneous show is the window
    // system restoring it from minimised: not a new showing, so the timers, the start-up
    // message and the hide timer are left alone (with Minimaliseren ticked and no
    // notification area, the window would otherwise minimise itself again at every restore).
    if (!event->spontaneous())
        m_gateway.show();
}

void MainWindow::BtnUpdateClick()
{
    // One update at a time, from the check to the last of its windows: a second download would
    // truncate the same file in TempDownloads.
    if (m_updating)
        return;
    UpdateService &update = m_gateway.update();
    update.backupExecutable();
    m_updating = true;
    setUpdateEnabled(false);
    UpdateCheck *check = update.check(this);
    connect(check, &UpdateCheck::finished, this, [this, check](const UpdateCheckResult &result) {
        check->deleteLater();
        if (!updateChecked(result))
            endUpdate();
    });
}

void MainWindow::endUpdate()
{
    m_updating = false;
    setUpdateEnabled(true);
}

void MainWindow::setUpdateEnabled(bool enabled)
{
    for (const char *name : { "BtnUpdate", "TrayUpdate" })
        if (auto *action = findChild<QAction *>(QLatin1StringView(name)))
            action->setEnabled(enabled);
}

bool MainWindow::updateChecked(const UpdateCheckResult &result)
{
    if (!result.configured) {
        updatePrompts.information(UpdateCheck::notConfiguredText());
        return false;
    }
    if (!result.failure.isEmpty()) {
        m_gateway.log().Logger(u"M-> "_s + result.failure);
        updatePrompts.error(result.failure);
        return false;
    }
    if (!result.newer) {
        if (!result.offerWebPage())
            updatePrompts.information(UpdateCheck::noNewVersionText());
        else if (updatePrompts.question(UpdateCheck::openWebPageQuestion()))
            updatePrompts.openWebPage(result.info.updatePageUrl);
        return false;
    }
    UpdateOfferWindow offer(result, updatePrompts, this);
    if (offer.exec() != UpdateOfferWindow::Download)
        return false;
    auto *download = new DownloadWindow(m_gateway.update(), result.info, updatePrompts, this);
    connect(download, &DownloadWindow::ready, this, &MainWindow::handOver);
    // The update ends with its window, whichever way it closes.
    connect(download, &QObject::destroyed, this, &MainWindow::endUpdate);
    download->start();
    return true;
}

void MainWindow::handOver(const QString &file)
{
    UpdateService &update = m_gateway.update();
    // Without the updater the gateway keeps running; the verified file stays for a later try.
    if (!QFileInfo(update.updaterProgram()).isFile()) {
        const QString missing = UpdateService::updaterMissingText(update.updaterProgram());
        m_gateway.log().Logger(u"M-> "_s + missing);
        updatePrompts.error(missing);
        return;
    }
    updatePrompts.information(UpdateService::startingText());
    if (!update.startUpdater(file)) {
        updatePrompts.error(UpdateService::updaterFailedText(update.updaterProgram()));
        return;
    }
    // The updater replaces the program once it has ended: no question and no shutdown
    // sequence, but the settings are kept as for any other end.
    m_endForUpdate = true;
    close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_endForUpdate) {
        event->accept();
        QCoreApplication::quit();
        return;
    }
    if (!m_shutDown) {
        if (!confirmClose()) {
            event->ignore();
            return;
        }
        m_gateway.shutdown();
        m_shutDown = true;
    }
    event->accept();
    // Closing a window hidden in the notification area does not end the event loop by itself.
    QCoreApplication::quit();
}

bool MainWindow::askClose()
{
    QMessageBox box(QMessageBox::Question, u"Afsluiten software"_s, u"Wenst u de Ludor Korvan TIM koppeling af te sluiten?"_s,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.button(QMessageBox::Yes)->setText(u"Ja"_s);
    box.button(QMessageBox::No)->setText(u"Nee"_s);
    return box.exec() == QMessageBox::Yes;
}
