#include "wipecontainer.h"

#include "filewipe.h"
#include "filewipereport.h"

bool wipeContainerFile(QWidget *parent, WipeAlgorithm algorithm, QString path)
{
    const FileWipeOutcome outcome = overwriteFile(algorithm, path);
    wipemessages::show(parent, fileWipeReport(outcome, path));
    return outcome.status == FileWipeStatus::Wiped;
}
