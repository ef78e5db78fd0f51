#ifndef WINDOWFIT_H
#define WINDOWFIT_H

#include <QSize>

class QPushButton;
class QWidget;

// The size a form was drawn at where its texts fit, larger where the font or
// the screen's dpi needs more room.
QSize fittedSize(QWidget &window, QSize drawn);

// A "..." button keeps its narrow drawn width unless its text needs more.
void fitNarrowButton(QPushButton &button, int drawnWidth);

// Group box titles get the room their text takes: Fusion sizes a title by its
// ink and clips the last letter of some titles ("уничтожени").
void fitGroupBoxTitles(QWidget &window);

#endif // WINDOWFIT_H
