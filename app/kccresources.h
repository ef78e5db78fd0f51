#ifndef KCCRESOURCES_H
#define KCCRESOURCES_H

// The resource collection lives in a static library, where nothing would pull
// its registration into the program; this reference does.
void initKccResources();

#endif // KCCRESOURCES_H
