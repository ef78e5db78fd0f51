#ifndef LANGUAGE_H
#define LANGUAGE_H

#include <QLocale>
#include <QString>

#include <memory>

class QCoreApplication;
class QTranslator;

// The program's texts are Russian in the source; English is a translation.
enum class Language { Russian, English };

// KCC_LANGUAGE=ru|en when set, else Russian on a Russian system and English
// everywhere else.
Language programLanguage();

// Numbers and sizes written the way the chosen language writes them.
QLocale programLocale();

// English: the program's English texts, embedded in the program. Russian:
// Qt's own texts in Russian, from Qt's translations directory. Null when the
// catalogue cannot be loaded.
std::unique_ptr<QTranslator> programTranslator(Language language);

// Under English, the program's English texts (embedded in the program);
// under Russian, Qt's own texts in Russian. The translators belong to the
// application. False when a catalogue could not be loaded.
bool installProgramTranslations(QCoreApplication &application);

// Before a QCoreApplication exists (--help, usage errors), where
// QCoreApplication::translate cannot reach a translator: the same catalogue.
QString translateEarly(const char *context, const char *sourceText);

#endif // LANGUAGE_H
