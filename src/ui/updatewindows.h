#pragma once

#include "update/updatecheck.h"

#include <QDialog>
#include <QUrl>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class UpdateDownload;
class UpdateService;

// The message boxes and the browser of the update, replaceable so that a test can answer them.
struct UpdatePrompts
{
    std::function<void(const QString &)> information;
    std::function<bool(const QString &)> question; // true is "Yes"
    std::function<void(const QString &)> error;
    std::function<void(const QUrl &)> openUrl;
    std::function<void(const QString &)> log; // a line for the operational log; may be empty

    // Opens the update's web page, but only an http or https address: the page comes from the
    // downloaded information, and the desktop would also open file paths, network shares and
    // any registered protocol handler with it. Anything else is logged and shown as not
    // available.
    void openWebPage(const QString &url) const;
    static QString pageNotAvailableText();

    static UpdatePrompts standard(QWidget *parent);
};

// "Nieuwe versie is beschikbaar": the release notes and what the operator can do next.
class UpdateOfferWindow : public QDialog
{
    Q_OBJECT
public:
    static constexpr int Width = 690;
    static constexpr int Height = 313;
    // The result of exec() when the operator chose "Download en installeer".
    static constexpr int Download = 2;

    UpdateOfferWindow(const UpdateCheckResult &result, const UpdatePrompts &prompts, QWidget *parent = nullptr);
};

// "Download nieuwe versie": the progress of one download. Shows itself once the file's size is
// known; says ready() with the verified file, and deletes itself when closed.
class DownloadWindow : public QDialog
{
    Q_OBJECT
public:
    DownloadWindow(UpdateService &service, const UpdateInfo &info, const UpdatePrompts &prompts, QWidget *parent = nullptr);

    void start();
    UpdateDownload &download() { return *m_download; }

signals:
    void ready(const QString &file);

protected:
    void reject() override;

private:
    void BtnAfbrekenClick();
    void refresh();

    UpdatePrompts m_prompts;
    UpdateDownload *m_download;
    bool m_ended = false;
    QLabel *m_file;
    QLabel *m_speed;
    QLabel *m_status;
    QLabel *m_elapsed;
    QLabel *m_remaining;
    QLabel *m_transfer;
    QProgressBar *m_progress;
    QPushButton *m_cancel;
};
