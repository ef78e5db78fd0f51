#ifndef QTTRANSLATIONS_H
#define QTTRANSLATIONS_H

class QCoreApplication;

// Qt's own texts (file dialog, standard buttons, edit menus) in Russian, like
// the program's own; the translator belongs to the application. False when
// Qt's Russian catalogue is not installed: those texts then stay English.
bool installQtRussian(QCoreApplication &application);

#endif // QTTRANSLATIONS_H
