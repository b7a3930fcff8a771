#include "start_up.h"

#include "base/failure.h"
#include "base/font_coverage.h"

#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTranslator>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace glimra
{

namespace
{
    // In English: a desktop without Japanese fonts may well draw no Japanese.
    const QString kNoJapaneseFont = QStringLiteral(
        "glimra: no installed font draws Japanese, so the window's captions and Qt's dialogs show empty boxes.\n"
        "glimra: install a Japanese font, such as Debian's fonts-noto-cjk or fonts-ipafont-gothic:\n"
        "glimra:     sudo apt install fonts-noto-cjk\n");

    QtMessageHandler g_qtHandler = nullptr;

    // Qt reports a display it cannot open with qFatal() from inside
    // QGuiApplication's constructor and aborts once the handler returns; this
    // handler does not return. Nothing of the program has run yet, so there
    // is nothing to clean up: _Exit ends it without running destructors
    // over the half-made application.
    void exitOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type != QtFatalMsg) {
            g_qtHandler(type, context, message);
            return;
        }
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
        std::fflush(stderr);
        std::_Exit(EXIT_FAILURE);
    }

    // A signal handler may do almost nothing: it writes one byte, and the
    // event loop does the closing when it reads it.
    int g_signalPipe[2] = { -1, -1 };

    void onTerminate(int)
    {
        const char byte = 1;
        if (::write(g_signalPipe[1], &byte, 1) < 0) {
            // The pipe is full: a close is already on its way.
        }
    }

    bool catchTermination()
    {
        if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return false;
        struct sigaction action = {};
        action.sa_handler = onTerminate;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
    }

    void closeWhenTerminated(QApplication& app)
    {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            char bytes[16];
            while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) { }
            QApplication::closeAllWindows();
        });
    }
} // namespace

std::unique_ptr<QApplication> openApplication(int& argc, char** argv)
{
    // Caught from the first moment, so that a signal sent while Qt starts is
    // acted on once the event loop runs.
    const bool caught = catchTermination();
    g_qtHandler = qInstallMessageHandler(exitOnFatal);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(g_qtHandler);
    if (caught)
        closeWhenTerminated(*app);
    else
        qCWarning(lcGlimra) << "cannot catch SIGTERM; the session's end will not close the window";
    return app;
}

QTranslator* installJapaneseQtTexts(QCoreApplication& app)
{
    auto translator = std::make_unique<QTranslator>();
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(
            QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"), dir)) {
        qCWarning(lcGlimra) << "no Japanese catalogue for Qt in" << dir << "- Qt's texts stay English";
        return nullptr;
    }
    translator->setParent(&app);
    if (!QCoreApplication::installTranslator(translator.get()))
        return nullptr;
    return translator.release();
}

void installJapaneseUiFont()
{
    const QString& family = labelFontStandIn();
    if (family.isEmpty())
        return;
    QFont font = QApplication::font();
    font.setFamilies(QStringList { family });
    // Without a Japanese font the captions cannot be drawn; no search for
    // one, but word of what draws them, once.
    if (!labelFontStandInIsJapanese()) {
        font.setStyleStrategy(QFont::NoFontMerging);
        std::fputs(qPrintable(kNoJapaneseFont), stderr);
    }
    QApplication::setFont(font);
}

} // namespace glimra
