#include "kccresources.h"

#include <QtGlobal>

void initKccResources()
{
    Q_INIT_RESOURCE(Kestrik_KCC);
}
