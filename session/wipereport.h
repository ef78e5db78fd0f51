#ifndef WIPEREPORT_H
#define WIPEREPORT_H

#include "tokenwipe.h"
#include "filewipe.h"

#include <QString>
#include <QStringList>

// How an outcome weighs; the window shows it as its box's icon.
enum class Severity { Information, Warning, Critical };

// One outcome as the user is told it: one of the fixed texts as the main
// text and, where there is more to say (what is left on disk or on the
// medium), an informative text.
struct WipeReport {
    Severity severity = Severity::Critical;
    QString text;
    QString informative;
};

// What an executor's outcome says happened: the failed step's fixed text,
// empty where no step failed, and the facts behind it. How it weighs and what
// it claims is the verdict's to say, not the executor's.
struct StepReport {
    QString text;
    QString facts;
};

StepReport fileWipeReport(const FileWipeOutcome &outcome, const QString &path);
// One sentence for each layer below the file that limits what an overwrite
// reaches; none for an unshared file on a spinning disk.
QStringList mediumLimitTexts(const MediumVerdict &verdict);
StepReport tokenWipeReport(const TokenWipeOutcome &outcome);

#endif // WIPEREPORT_H
