#ifndef FORMABOUT_H
#define FORMABOUT_H

#include "ui_formabout.h"

#include <QDialog>

class FormAbout : public QDialog
{
    Q_OBJECT

public:
    explicit FormAbout(QWidget *parent);

private:
    Ui::FormAbout ui;
};

#endif // FORMABOUT_H
