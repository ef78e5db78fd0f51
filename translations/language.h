#ifndef LANGUAGE_H
#define LANGUAGE_H

#include <QLocale>
#include <QString>

#include <memory>
#include <vector>

class QCoreApplication;
class QTranslator;

// The program's texts are Russian in the source; English is a translation.
enum class Language { Russian, English };

// KCC_LANGUAGE=ru|en when set, else Russian on a Russian system and English
// everywhere else.
Language programLanguage();

// Numbers and sizes written the way a language writes them; the program's own.
QLocale localeOf(Language language);
QLocale programLocale();

// English: the program's English texts, embedded in the program. Russian:
// the plural forms of the program's texts (embedded too; the texts themselves
// are the sources) and Qt's own texts in Russian, from Qt's translations
// directory. Only the catalogues that could be loaded.
std::vector<std::unique_ptr<QTranslator>> programTranslators(Language language);

// The catalogues of the program's language, owned by the application. False
// when one of them could not be loaded.
bool installProgramTranslations(QCoreApplication &application);

// Qt picks a plural form from an int. A larger number is given as one with
// the same last two digits, which is all the plural rules read.
int pluralKey(qint64 n);

// A text in the given language whatever the program's own is (the journal's
// exports have one instance per language); n chooses the plural form.
QString translatedIn(Language language, const char *context, const char *sourceText, int n);

// Before a QCoreApplication exists (--help, usage errors), where
// QCoreApplication::translate cannot reach a translator: the same catalogue.
QString translateEarly(const char *context, const char *sourceText);

#endif // LANGUAGE_H
