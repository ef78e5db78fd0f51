#include "wipecontainer.h"

#include "filewipe.h"
#include "wipemessages.h"

bool wipeContainerFile(QWidget *parent, WipeAlgorithm algorithm, QString path)
{
    const FileWipeOutcome outcome = overwriteFile(algorithm, path);
    switch (outcome.status) {
    case FileWipeStatus::Wiped:
        wipemessages::show(parent, QMessageBox::Information, wipemessages::wiped());
        return true;
    case FileWipeStatus::NotFound:
        wipemessages::show(parent, QMessageBox::Critical, wipemessages::fileNotFound());
        return false;
    case FileWipeStatus::Failed:
        break;
    }
    wipemessages::show(parent, QMessageBox::Critical, wipemessages::fileFailed());
    return false;
}
