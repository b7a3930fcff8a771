#include "fatal.h"

#include <QMessageBox>

#include <cstdlib>

namespace glimra
{

void fatal(QWidget* parent, const StepFailed& failure)
{
    qCWarning(lcGlimra) << "fatal:" << failure.what();
    QMessageBox::critical(parent, QStringLiteral("glimra"), failure.boxText());
    std::exit(EXIT_FAILURE);
}

} // namespace glimra
