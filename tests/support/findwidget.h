#ifndef FINDWIDGET_H
#define FINDWIDGET_H

#include <QWidget>

// The window's widget of that object name; a missing one ends the test run,
// since every check after it would be about nothing.
template <typename T>
T *child(QWidget &window, const char *name)
{
    T *w = window.findChild<T *>(QLatin1String(name));
    if (!w)
        qFatal("no widget %s", name);
    return w;
}

#endif // FINDWIDGET_H
