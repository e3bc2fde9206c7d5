#include "updatewindows.h"

#include "app/gateway.h"

#include "picture.h"
#include "update/updater.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace {

void whiteFixed(QDialog *dialog, const QString &caption)
{
    dialog->setWindowTitle(caption);
    dialog->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    QPalette white = dialog->palette();
    white.setColor(QPalette::Window, Qt::white);
    dialog->setPalette(white);
    dialog->setAutoFillBackground(true);
    dialog->setFixedSize(UpdateOfferWindow::Width, UpdateOfferWindow::Height);
}

QPushButton *button(const QString &text, const QString &name, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

QLabel *value(const QString &name)
{
    auto *label = new QLabel;
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

UpdatePrompts UpdatePrompts::standard(QWidget *parent)
{
    // The application's title, as message boxes without a caption of their own show it; it is
    // not the toolkit's display name, which would be appended to every window title.
    const auto caption = [] { return Gateway::applicationTitle(); };
    return {
        [parent, caption](const QString &text) { QMessageBox::information(parent, caption(), text); },
        [parent, caption](const QString &text) {
            QMessageBox box(QMessageBox::Question, caption(), text, QMessageBox::Yes | QMessageBox::No, parent);
            box.button(QMessageBox::Yes)->setText(u"Ja"_s);
            box.button(QMessageBox::No)->setText(u"Nee"_s);
            return box.exec() == QMessageBox::Yes;
        },
        [parent, caption](const QString &text) { QMessageBox::critical(parent, caption(), text); },
        [](const QUrl &url) { QDesktopServices::openUrl(url); },
        {}, // the window that owns the prompts gives them its log
    };
}

QString UpdatePrompts::pageNotAvailableText()
{
    return u"De webpagina is niet beschikbaar."_s;
}

void UpdatePrompts::openWebPage(const QString &text) const
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && (scheme == u"http"_s || scheme == u"https"_s) && !url.host().isEmpty()) {
        openUrl(url);
        return;
    }
    if (log)
        log(u"M-> Webpagina niet geopend, alleen http- en https-adressen worden geopend: "_s + text);
    information(pageNotAvailableText());
}

UpdateOfferWindow::UpdateOfferWindow(const UpdateCheckResult &result, const UpdatePrompts &prompts, QWidget *parent)
    : QDialog(parent)
{
    whiteFixed(this, u"Nieuwe versie is beschikbaar"_s);

    auto *notes = new QPlainTextEdit(result.notes);
    notes->setObjectName(u"ReadmeMemo"_s);
    notes->setReadOnly(true);
    notes->setLineWrapMode(QPlainTextEdit::NoWrap);
    notes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette cream = notes->palette();
    cream.setColor(QPalette::Base, QColor(0xff, 0xfb, 0xf0));
    notes->setPalette(cream);

    auto *picture = new SidePicture;
    picture->setFixedWidth(250);

    QPushButton *download = button(u"Download en installeer"_s, u"BtnDownload"_s, this);
    download->setEnabled(result.downloadOffered());
    connect(download, &QPushButton::clicked, this, [this] { done(Download); });
    QPushButton *page = button(u"Open webpagina"_s, u"BtnWebpagina"_s, this);
    connect(page, &QPushButton::clicked, this,
            [prompts, url = result.info.updatePageUrl] { prompts.openWebPage(url); });
    QPushButton *ok = button(u"OK"_s, u"BtnOK"_s, this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *top = new QHBoxLayout;
    top->addWidget(notes, 1);
    top->addWidget(picture);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(download);
    buttons->addWidget(page);
    buttons->addStretch();
    buttons->addWidget(ok);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    ok->setFocus();
}

DownloadWindow::DownloadWindow(UpdateService &service, const UpdateInfo &info, const UpdatePrompts &prompts, QWidget *parent)
    : QDialog(parent)
    , m_prompts(prompts)
    , m_download(service.download(info, this))
    , m_file(value(u"Bestand"_s))
    , m_speed(value(u"Snelheid"_s))
    , m_status(value(u"Status"_s))
    , m_elapsed(value(u"Verstreken"_s))
    , m_remaining(value(u"Resterend"_s))
    , m_transfer(value(u"Overdracht"_s))
    , m_progress(new QProgressBar)
    , m_cancel(button(u"AFBREKEN"_s, u"BtnAfbreken"_s, this))
{
    whiteFixed(this, u"Download nieuwe versie"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(true);

    auto *grid = new QGridLayout;
    int row = 0;
    for (const auto &[text, label] : { std::pair { u"Bestand:"_s, m_file }, { u"Snelheid:"_s, m_speed }, { u"Status :"_s, m_status },
                                       { u"Verstreken tijd :"_s, m_elapsed }, { u"Resterende tijd :"_s, m_remaining },
                                       { u"Overdracht :"_s, m_transfer } }) {
        auto *name = new QLabel(text);
        name->setBuddy(label);
        grid->addWidget(name, row, 0);
        grid->addWidget(label, row++, 1);
    }
    grid->setColumnStretch(1, 1);
    m_progress->setObjectName(u"ProgressBar"_s);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    connect(m_cancel, &QPushButton::clicked, this, &DownloadWindow::BtnAfbrekenClick);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addWidget(m_progress);
    layout->addLayout(buttons);

    connect(m_download, &UpdateDownload::changed, this, &DownloadWindow::refresh);
    connect(m_download, &UpdateDownload::sizeKnown, this, &QDialog::open);
    connect(m_download, &UpdateDownload::finished, this, [this](UpdateDownload::Outcome outcome) {
        using Outcome = UpdateDownload::Outcome;
        m_ended = true;
        refresh();
        m_progress->setValue(m_progress->maximum());
        switch (outcome) {
        case Outcome::NoSize:
            // Nothing to show: the window was never opened.
            deleteLater();
            break;
        case Outcome::Done:
            hide();
            emit ready(m_download->filePath());
            deleteLater();
            break;
        case Outcome::Rejected:
            m_prompts.error(UpdateDownload::abortedText());
            break;
        case Outcome::Failed:
        case Outcome::Cancelled:
            break; // the status says it, or the operator already knows
        }
    });
}

void DownloadWindow::start()
{
    m_file->setText(m_download->fileName());
    m_download->start();
}

void DownloadWindow::refresh()
{
    m_status->setText(m_download->status());
    m_speed->setText(m_download->speed());
    m_elapsed->setText(m_download->elapsed());
    m_remaining->setText(m_download->remaining());
    m_transfer->setText(m_download->transfer());
    m_progress->setValue(m_download->percent());
}

void DownloadWindow::BtnAfbrekenClick()
{
    // Once the transfer has ended there is nothing to stop: the button closes the window.
    if (m_ended) {
        close();
        return;
    }
    if (!m_prompts.question(UpdateDownload::cancelQuestion()))
        return;
    m_cancel->setEnabled(false);
    m_download->cancel();
    m_prompts.error(UpdateDownload::abortedText());
}

void DownloadWindow::reject()
{
    // Escape and the close box ask as "AFBREKEN" does while the transfer runs.
    if (m_ended)
        QDialog::reject();
    else
        BtnAfbrekenClick();
}
