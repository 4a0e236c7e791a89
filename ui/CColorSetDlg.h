#pragma once

#include <array>
#include <cstdint>

#include <QDialog>
#include <QRect>

#include "app/ConfigFile.h"
#include "link/CommandPacket.h"

// The small modal colour picker opened by a click on a swatch of the colour-change panel.
// It copies the palette when constructed, paints the palette's swatches (at most 15) with
// labels "1:" to "15:", and ends with a choice when one of the 15 swatch rectangles is
// clicked; Esc or the close box end it without one. The caption is "换色"/"color" followed
// by the page position + 1, by the stored language (a missing key counts as 0, English).
class CColorSetDlg : public QDialog
{
    Q_OBJECT
public:
    CColorSetDlg(QWidget* parent, int position, const ColorPalette& palette,
                 const ConfigFile& config);

    bool chosen() const { return m_chosen; }
    std::int32_t colorNumber() const { return m_colorNumber; }
    std::uint32_t displayColor() const { return m_displayColor; }

    QRect swatchRect(int k) const { return m_swatches[static_cast<std::size_t>(k)]; }
    QRect labelRect(int k) const { return m_labels[static_cast<std::size_t>(k)]; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    ColorPalette m_palette;
    int m_position;
    int m_language;
    std::array<QRect, 15> m_swatches;
    std::array<QRect, 15> m_labels;
    bool m_chosen = false;
    std::int32_t m_colorNumber = 1;
    std::uint32_t m_displayColor = 0;
};
