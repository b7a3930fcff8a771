#include "form1.h"
#include "start_up.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    const std::unique_ptr<QApplication> app = glimra::openApplication(argc, argv);
    QApplication::setApplicationName(QStringLiteral("glimra"));
    QApplication::setApplicationVersion(QStringLiteral(GLIMRA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("io.github.glimra.Glimra"));
    glimra::installJapaneseQtTexts(*app);
    glimra::installJapaneseUiFont();
    glimra::Form1 window;
    window.show();
    return app->exec();
}
