#ifndef MEDIALIST_H
#define MEDIALIST_H

#include "velmux.h"

#include <QString>
#include <QVector>

struct ListedMedium {
    MediaRecord record;
    QString name;
    QString detail;
    QString serialNumber;
};

// Every medium of the type codes the media dialog asks for, in its order,
// without a window.
QVector<ListedMedium> listMedia();

// A MediaInfo string field, up to its NUL or its end, as UTF-8.
QString mediaInfoText(const char *field, size_t fieldSize);

#endif // MEDIALIST_H
