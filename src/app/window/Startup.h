#pragma once

#include <QString>

class QApplication;
class QCoreApplication;
class QTranslator;

namespace kordex::app {

// Where Qt keeps its own translations on this machine.
QString QtTranslationsDirectory();

// Qt's own texts (the buttons of its dialogs, the edit fields' context menu,
// the print, file, colour and font dialogs) in Russian, from the "qtbase"
// translation in directory. Gives the translator installed, owned by the
// application (deleting it takes the translation back), or null when the
// directory holds no such file: Qt then speaks English and the program runs on.
QTranslator* InstallQtTranslations(QCoreApplication& app,
                                   const QString& directory = QtTranslationsDirectory());

// The program's start before any window is made: its name and title, and
// Qt's texts in Russian. Gives the translator as InstallQtTranslations does.
QTranslator* InitApplication(QApplication& app);

}  // namespace kordex::app
