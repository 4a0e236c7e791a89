#include "ui/TextFit.h"

#include <algorithm>

#include <QFontMetrics>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

int wrappedTextWidth(const QFontMetrics& metrics, const QString& text, int height)
{
    const int oneLine = metrics.horizontalAdvance(text) + 1;
    int widestWord = 0;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts))
        widestWord = std::max(widestWord, metrics.horizontalAdvance(word) + 1);
    for (int width = widestWord; width < oneLine; ++width) {
        if (metrics.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, text).height() <=
            height)
            return width;
    }
    return oneLine;
}

QSize buttonSizeFor(const QPushButton* button, const QString& text)
{
    const QFontMetrics metrics = button->fontMetrics();
    int width = 0;
    const QStringList lines = text.split(u'\n');
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    QStyleOptionButton option;
    option.initFrom(button);
    const QStyle* style = button->style();
    const int pad = 2 * (style->pixelMetric(QStyle::PM_ButtonMargin, &option, button) +
                         style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button));
    return {width + pad, int(lines.size()) * metrics.height() + pad / 2};
}

void shiftControls(QWidget* dialog, int fromX, int dx)
{
    for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow() && child->x() >= fromX)
            child->move(child->x() + dx, child->y());
    }
}

void fitDialogWidth(QWidget* dialog, int margin)
{
    int right = 0;
    for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow())
            right = std::max(right, child->geometry().right() + 1);
    }
    if (right + margin > dialog->width())
        dialog->setFixedSize(right + margin, dialog->height());
}
