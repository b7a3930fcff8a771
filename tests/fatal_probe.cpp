// Runs the window with a platform piece that fails, under the fatal policy,
// and reports the error box it sees on stdout:
//     fatal_probe load     the banner pane refuses navigate at start-up
//     fatal_probe colour   the colour dialog refuses to open
// The box is answered as a user would, by pressing its button.

#include "test_doubles.h"

#include "../app/form1.h"
#include "../colour/swatch.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();

    QTimer boxWatch;
    QObject::connect(&boxWatch, &QTimer::timeout, &app, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        std::printf("box shown: %s | %s | %d buttons\n", qPrintable(box->windowTitle()), qPrintable(box->text()),
            int(box->buttons().size()));
        std::fflush(stdout);
        box->buttons().first()->click();
    });
    boxWatch.start(10);

    auto dialog = std::make_unique<ScriptedColourDialog>();
    dialog->failShow = true;
    glimra::Form1Platform platform;
    platform.fonts = std::make_unique<preview::NamedFontList>();
    platform.colourDialog = std::move(dialog);
    platform.bannerPane = [mode](QWidget* parent) {
        auto* pane = new RecordingBannerPane(parent);
        pane->refuse = mode == QLatin1String("load");
        return pane;
    };
    glimra::Form1 window(std::move(platform));
    window.show();
    std::printf("window shown\n");
    std::fflush(stdout);
    if (mode == QLatin1String("colour"))
        QTimer::singleShot(0, window.Command3, [&window] { window.Command3->click(); });
    else
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    const int status = app.exec();
    std::printf("ended normally\n");
    return status;
}
