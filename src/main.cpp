// korvantim: the gateway between the dispatch database and the TIM vehicle host.
#include "app/gateway.h"
#include "app/shutdownsignal.h"

#ifdef KORVAN_WITH_GUI
#include "ui/mainwindow.h"

#include <QApplication>
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

bool hasArgument(int argc, char **argv, const char *name)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return true;
    return false;
}

// Qt aborts when the window system cannot be reached; say what to do instead.
bool displayAvailable()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY")
        || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

} // namespace

int main(int argc, char **argv)
{
    const bool info = hasArgument(argc, argv, "--help") || hasArgument(argc, argv, "-h")
                   || hasArgument(argc, argv, "--version") || hasArgument(argc, argv, "-v");
    const bool checkUpdate = hasArgument(argc, argv, "--check-update");
    bool headless = hasArgument(argc, argv, "--headless") || checkUpdate;
#ifndef KORVAN_WITH_GUI
    headless = true;
#endif
    if (!headless && !info && !displayAvailable()) {
        std::fprintf(stderr, "korvantim: no display to show the window on.\n"
                             "Run it without a window with: korvantim --headless [--dir DIR]\n");
        return 2;
    }

    std::unique_ptr<QCoreApplication> app;
#ifdef KORVAN_WITH_GUI
    if (!headless && !info)
        app = std::make_unique<QApplication>(argc, argv);
#endif
    if (!app)
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvantim"));
    QCoreApplication::setApplicationVersion(Gateway::version());
    // No application display name: on X11 and Wayland the toolkit would append it to every
    // window title, and the captions must read exactly as the operator knows them.

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Gateway between the taxi-dispatch database and the TIM vehicle host (RAMSERV).\n"
        "Settings are read from KorvanTim.xml in the program directory and saved there at the end."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headlessOption(QStringLiteral("headless"),
                                            QStringLiteral("Run without a window; every log line goes to standard output. "
                                                           "SIGTERM or SIGINT shuts the gateway down in order."));
    const QCommandLineOption dirOption(QStringLiteral("dir"),
                                       QStringLiteral("The program directory with KorvanTim.xml and the working "
                                                      "directories (default: the directory of the executable)."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption checkUpdateOption(
        QStringLiteral("check-update"),
        QStringLiteral("Ask the update server (UpdateURL_Text) for a newer version, print what the window would show "
                       "and exit: 0 a newer version exists, 1 none, 2 no answer (no update server configured, or its "
                       "information could not be read). Nothing is downloaded and the settings are not written."));
    parser.addOption(headlessOption);
    parser.addOption(dirOption);
    parser.addOption(checkUpdateOption);
    parser.process(*app);

    const QString programDir = parser.isSet(dirOption) ? QDir(parser.value(dirOption)).absolutePath()
                                                       : QCoreApplication::applicationDirPath();
    if (!QDir(programDir).exists()) {
        std::fprintf(stderr, "korvantim: program directory %s does not exist\n", qPrintable(programDir));
        return 2;
    }

    // Declared before the gateway, so that it is still there for whatever the gateway logs
    // while it is destroyed.
    QTextStream out(stdout);
    const Clock clock;
    const Regional regional = Regional::system();
    Gateway gateway(programDir, clock, regional);
    // The update check prints its report alone; a running gateway prints every log line.
    if (headless && !checkUpdate) {
        QObject::connect(&gateway.log(), &Log::linesAdded, &gateway, [&out](const QStringList &lines) {
            for (const QString &line : lines)
                out << line << '\n';
            out.flush();
        });
    }
    if (checkUpdate) {
        // Reads the settings and asks; starts nothing of the gateway.
        gateway.readSettings();
        UpdateCheck *check = gateway.update().check(&gateway);
        UpdateCheckResult result;
        QObject::connect(check, &UpdateCheck::finished, [&](const UpdateCheckResult &r) {
            result = r;
            QCoreApplication::quit();
        });
        app->exec();
        out << checkReport(result);
        out.flush();
        return checkExitCode(result);
    }

    gateway.create();
    if (headless && !gateway.configProblem().isEmpty())
        std::fprintf(stderr, "korvantim: %s\n", qPrintable(gateway.configProblem()));

    int rc = 0;
    if (headless) {
        ShutdownSignal signal;
        QObject::connect(&signal, &ShutdownSignal::requested, [&] {
            // The operator's question is answered yes.
            gateway.shutdown();
            QCoreApplication::quit();
        });
        out << Gateway::caption() << " - " << programDir << '\n';
        out.flush();
        gateway.show();
        rc = app->exec();
    } else {
#ifdef KORVAN_WITH_GUI
        MainWindow window(gateway);
        window.show();
        rc = app->exec();
#endif
    }
    if (!gateway.settingsCopied())
        gateway.copySettings();
    gateway.saveConfiguration();
    return rc;
}
