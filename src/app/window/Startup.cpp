#include "Startup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "MainWindow.h"

namespace kordex::app {

QString QtTranslationsDirectory() {
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

QTranslator* InstallQtTranslations(QCoreApplication& app, const QString& directory) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                          QStringLiteral("_"), directory) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

QTranslator* InitApplication(QApplication& app) {
    // The application's name only: a display name of its own would be added
    // to the caption of every window and dialog.
    QApplication::setApplicationName(MainCaption);
    return InstallQtTranslations(app);
}

}  // namespace kordex::app
