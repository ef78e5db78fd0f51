#ifndef KCC_FORMSELECTMEDIA_H
#define KCC_FORMSELECTMEDIA_H

#include <QDialog>
#include <QList>
#include <QString>

#include <cstdint>

#include "ui_formselectmedia.h"
#include "velmux.h"

// Lists the media the container library reports and hands back the one the
// user picked.
class FormSelectMedia : public QDialog
{
    Q_OBJECT

public:
    explicit FormSelectMedia(QWidget *parent = nullptr);

    bool selectedMedia(MediaRecord &media, QString &text);

public slots:
    void itemChanged();

private:
    void appendMediaOfType(uint32_t mediaType);

    uint32_t notShown = 0; // media past the list's capacity, all types together
    Ui::FormSelectMedia ui;
    // One entry per list line, same order: line row == index here.
    QList<MediaRecord> mediaList;
};

#endif // KCC_FORMSELECTMEDIA_H
