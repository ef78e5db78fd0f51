#include "windowfit.h"

#include <QApplication>
#include <QGroupBox>
#include <QLayout>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>

namespace {

class WholeTitleStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                         SubControl subControl, const QWidget *widget) const override
    {
        QRect rect = QProxyStyle::subControlRect(control, option, subControl, widget);
        const auto *box = qstyleoption_cast<const QStyleOptionGroupBox *>(option);
        if (control == CC_GroupBox && subControl == SC_GroupBoxLabel && box) {
            const int width = box->fontMetrics.size(Qt::TextShowMnemonic, box->text).width();
            if (rect.width() < width)
                rect = visualRect(box->direction, box->rect,
                                  QRect(visualRect(box->direction, box->rect, rect).topLeft(),
                                        QSize(width, rect.height())));
        }
        return rect;
    }
};

} // namespace

QSize fittedSize(QWidget &window, QSize drawn)
{
    if (QLayout *layout = window.layout()) {
        // Visibility changes since the last pass are not yet in the cached hints.
        layout->invalidate();
        layout->activate();
    }
    QSize size = drawn.expandedTo(window.sizeHint());
    if (QLayout *layout = window.layout(); layout && layout->hasHeightForWidth())
        size.setHeight(qMax(size.height(), layout->totalHeightForWidth(size.width())));
    return size;
}

void fitNarrowButton(QPushButton &button, int drawnWidth)
{
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    const QStyle *style = button.style();
    // The style's own minimum (80 pixels in Fusion) is meant for dialog
    // buttons, not for an ellipsis beside a field.
    const int needed = button.fontMetrics().size(Qt::TextShowMnemonic, button.text()).width()
                       + 2 * style->pixelMetric(QStyle::PM_ButtonMargin, &option, &button)
                       + 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &button);
    button.setFixedWidth(qMax(drawnWidth, needed));
}

void fitGroupBoxTitles(QWidget &window)
{
    const QList<QGroupBox *> boxes = window.findChildren<QGroupBox *>();
    if (boxes.isEmpty())
        return;
    // Owned by the window and made after its boxes, so it outlives them.
    auto *style = new WholeTitleStyle(QStyleFactory::create(QApplication::style()->objectName()));
    style->setParent(&window);
    for (QGroupBox *box : boxes)
        box->setStyle(style);
}
