#include "formabout.h"

#include "kccresources.h"
#include "kcc_version.h"
#include "windowfit.h"

FormAbout::FormAbout(QWidget *parent)
    : QDialog(parent)
{
    initKccResources();
    ui.setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui.labelInfo->setText(ui.labelInfo->text().replace(
        QStringLiteral("#version#"), QStringLiteral(KCC_VERSION), Qt::CaseSensitive));
    setFixedSize(fittedSize(*this, QSize(563, 249)));
}
