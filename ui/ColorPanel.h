#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include <QRect>

#include "app/ConfigFile.h"
#include "link/CommandPacket.h"

class QPainter;
class QPoint;
class QWidget;

// The colour number and display colour of every colour block of the loaded design, block 1
// first. Designs with more blocks than entries give entries to their first kEntries blocks.
struct ColorChangeSequence
{
    static constexpr int kEntries = 980;
    static constexpr std::uint32_t kStartColor = 0x0000FF; // pure red, 0x00BBGGRR

    ColorChangeSequence();

    std::array<std::int32_t, kEntries> colorNumbers;   // 1 to 15
    std::array<std::uint32_t, kEntries> displayColors; // 0x00BBGGRR
};

// Gives block i (below colorCount, at most kEntries) palette colour i mod 15; colour
// numbers stay. A palette whose count is out of range is never read beyond its 15 colours.
void resetDisplayColors(ColorChangeSequence& sequence, int colorCount, const ColorPalette& palette);

// What the picker returns when a swatch was clicked.
struct ColorChoice
{
    std::int32_t colorNumber = 1;
    std::uint32_t displayColor = 0;
};

// The colour-change panel at the right edge of the main window: the sequence, the page and
// the 15 swatch cells with their labels. Not a widget: the window owns one and routes to it:
//   - layout(clientRect) once while it opens (cells hang off the right edge);
//   - paint(painter) from its paint routine, on the client area's coordinates;
//   - click(pos, this, palette) from its mouse press; true means an entry changed: repaint;
//   - pageUp()/pageDown() from buttons 1033/1034; true means the page changed: repaint;
//   - designImported(summary colour count, palette) after each import;
//   - displayColors() to the main view's renderer, colorNumbers()/usedEntries() to the
//     parameter dialog.
class ColorPanel
{
public:
    static constexpr int kCellsPerPage = 15;
    static constexpr int kLastPage = 66;

    // Opens the picker for page position `position` (0 to 14); nullopt when closed without
    // a choice. The default runs CColorSetDlg modally; tests install their own.
    using Picker = std::function<std::optional<ColorChoice>(QWidget* parent, int position,
                                                            const ColorPalette& palette)>;

    explicit ColorPanel(ConfigFile config);

    void layout(const QRect& clientRect);
    void paint(QPainter& painter) const;
    bool click(const QPoint& pos, QWidget* parent, const ColorPalette& palette);
    bool pageUp();
    bool pageDown();
    void designImported(int colorCount, const ColorPalette& palette);

    // Colour blocks of the loaded design as its summary counts them (0 before any import).
    int colorCount() const { return m_colorCount; }
    // Blocks that have an entry: the colour count, at most ColorChangeSequence::kEntries.
    int usedEntries() const;
    int page() const { return m_page; }
    // The entries of the design's blocks (usedEntries() long).
    std::span<const std::uint32_t> displayColors() const;
    std::span<const std::int32_t> colorNumbers() const;
    const ColorChangeSequence& sequence() const { return m_sequence; }

    QRect swatchRect(int position) const;
    QRect labelRect(int position) const;

    void setPicker(Picker picker) { m_picker = std::move(picker); }

private:
    int entryIndex(int position) const { return (m_page - 1) * kCellsPerPage + position; }

    ConfigFile m_config;
    ColorChangeSequence m_sequence;
    int m_colorCount = 0;
    int m_page = 1;
    int m_clientRight = 0;
    int m_clientTop = 0;
    Picker m_picker;
};
