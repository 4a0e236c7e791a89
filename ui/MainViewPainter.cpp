#include "ui/MainViewPainter.h"

#include <QImage>
#include <QPainter>

#include "app/UiTexts.h"
#include "control/StatusDisplay.h"
#include "render/MainView.h"
#include "render/QPainterSurface.h"

void MainViewPainter::paintDesign(QPainter& painter, const QRect& area) const
{
    if (area.width() <= 0 || area.height() <= 0)
        return;
    MainViewState state;
    state.design = &design;
    state.blockColors = blockColors;
    // A design the machine does not sew is drawn plainly, whatever its stitch number says.
    state.currentStitch = progress.drawProgress ? status.currentStitch : 0;
    QImage image(area.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    bool drawn = false;
    {
        QPainterSurface surface(image);
        drawn = paintDesignArea(surface, RenderTarget{area.width(), area.height()}, state);
    }
    if (drawn)
        painter.drawImage(area.topLeft(), image);
}

void MainViewPainter::paintStrip(QPainter& painter, const QRect& area) const
{
    // A machine that stopped answering is said to be offline, not shown in its last state.
    const std::string embroideryText = progress.offline
                                           ? std::string(uiText(TextId::StripOffline, language))
                                           : embroideryStateText(status, language);
    const std::string stitchText =
        progress.offline ? std::string()
                         : currentStitchText(status, language) + progressText(progress, language);
    MainViewState state;
    state.design = &design;
    state.blockColors = blockColors;
    state.currentStitch = progress.drawProgress ? status.currentStitch : 0;
    state.designInfoTemplate = uiText(TextId::DesignInfoTemplate, language);
    state.embStateText = embroideryText;
    state.stitchNumberText = stitchText;
    QPainterSurface surface(painter);
    paintInfoStrip(surface, {area.left(), area.top(), area.right() + 1, area.bottom() + 1}, state);
}
