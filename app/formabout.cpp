#include "formabout.h"

#include "kccresources.h"

namespace {
const QString appVersion = QStringLiteral("1.0.0.6");
}

FormAbout::FormAbout(QWidget *parent)
    : QDialog(parent)
{
    initKccResources();
    ui.setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui.labelInfo->setText(ui.labelInfo->text().replace(QStringLiteral("#version#"), appVersion,
                                                       Qt::CaseSensitive));
}
