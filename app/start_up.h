#pragma once

// What glimra does before its window exists: open the display, give Qt's
// own texts (dialogs, context menus, message box buttons) in Japanese, as
// the program's own texts are, whatever the desktop's locale, choose a user
// interface font that draws them, and end as a closed window does when the
// session asks it to.

#include <QApplication>

#include <memory>

class QTranslator;

namespace glimra
{

// The application, or, when Qt can open no display (no X server behind
// DISPLAY, no Wayland compositor), Qt's message on stderr and the end of the
// program with status 1; Qt itself would abort, with a core file. From here
// on SIGTERM (the session ending) and SIGINT (Ctrl+C in a terminal) close
// the windows as the user would: a running build stops, the status is 0.
std::unique_ptr<QApplication> openApplication(int& argc, char** argv);

// Installs Qt's Japanese catalogue in the application and returns it, owned
// by the application; null, and Qt's texts stay English, when the catalogue
// is not installed.
QTranslator* installJapaneseQtTexts(QCoreApplication& app);

// Makes the desktop's user-interface font, at its size, draw in the family
// that stands in for the label font (a Japanese proportional gothic where
// there is one), for every window made from now on, dialogs and message
// boxes included. Qt would otherwise draw the captions through its own
// fallback search, at a cost that grows with the square of the installed
// fonts, and may pick a face with typewriter Latin. Where no installed font
// draws the captions, it says so on standard error, naming the packages
// that would. Call it before the window is made.
void installJapaneseUiFont();

} // namespace glimra
