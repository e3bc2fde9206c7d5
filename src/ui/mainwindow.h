#pragma once

#include "updatewindows.h"

#include <QWidget>

#include <functional>

class Gateway;
struct SettingKey;
class QLineEdit;
class QStringListModel;
class QSystemTrayIcon;
class QTabWidget;

// `THoofdscherm`: the operator's console and the settings window in one. It only shows the
// core and passes the operator's actions on; every setting control writes its member of
// Gateway::settings() as it is edited.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 1067;
    static constexpr int ClientHeight = 510;

    explicit MainWindow(Gateway &gateway, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The shutdown question; true is "Yes". Replaceable, so that a test can answer it.
    std::function<bool()> confirmClose;
    // The update's message boxes and browser, replaceable in the same way.
    UpdatePrompts updatePrompts;

    QTabWidget *tabs() const { return m_tabs; }
    QSystemTrayIcon *trayIcon() const { return m_tray; }

public slots:
    // "VERBERGEN NAAR TAAKBALK".
    void BtnRedoClick();
    // "AFSLUITEN" and the tray's "Sluiten": the close, with its question.
    void BtnSluitenClick();
    // The tray's "Details": shows the window again.
    void Details1Click();
    // Hides to the notification area, or minimises where there is none.
    void hideToTray();
    // "CONTROLEER OP UPDATES" and the tray's "Update": backup, then the update check.
    void BtnUpdateClick();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void Button3Click();
    void Button6Click();
    void SpeedButton4Click();

private:
    QWidget *settingsPage();
    QWidget *logPage();
    QWidget *parametersPage();
    QWidget *sendPage();
    QWidget *optionsPage();
    QWidget *statusListPage();
    QWidget *listPage(const QString &name, QStringListModel *model);
    QWidget *control(const SettingKey &key);
    void createTray();
    bool askClose();
    // Shows what the check found; true when a download window now carries the update on.
    bool updateChecked(const UpdateCheckResult &result);
    void endUpdate();
    void handOver(const QString &file);
    void setUpdateEnabled(bool enabled);

    Gateway &m_gateway;
    bool m_shutDown = false;
    bool m_endForUpdate = false;
    bool m_updating = false; // from the check to the last window of that update
    QTabWidget *m_tabs = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    QLineEdit *m_exportDir = nullptr;
};
