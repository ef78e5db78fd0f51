#ifndef KCC_FORMSELECTMEDIA_H
#define KCC_FORMSELECTMEDIA_H

#include <QDialog>
#include <QList>
#include <QString>

#include <cstdint>

#include "tokenlist.h"
#include "ui_formselectmedia.h"

// Shows the media the library lists and hands back the one the user picked.
// It never works on a medium itself.
class FormSelectMedia : public QDialog
{
    Q_OBJECT

public:
    explicit FormSelectMedia(QWidget *parent = nullptr);

    bool selectedMedia(MediaRecord &media, QString &text) const;
    // The medium on the selected line, as it was listed.
    bool selectedMedia(ListedToken &medium) const;

public slots:
    void itemChanged();

private:
    void appendMediaOfType(uint32_t mediaType);

    uint32_t notShown = 0; // media past the list's capacity, all types together
    QString moduleFailure; // a named module that did not load: "file: reason"
    Ui::FormSelectMedia ui;
    // One entry per list line, same order: line row == index here.
    QList<ListedToken> mediaList;
};

#endif // KCC_FORMSELECTMEDIA_H
