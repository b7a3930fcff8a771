#include "form1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("glimra"));
    QApplication::setApplicationVersion(QStringLiteral(GLIMRA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("io.github.glimra.Glimra"));
    Form1 window;
    window.show();
    return app.exec();
}
