#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include "tests/ui/PanelTestSupport.h"
#include "ui/CColorSetDlg.h"
#include "ui/ColorPanel.h"

namespace {

using panel_test::TempConfig;

constexpr int kClientWidth = 1000;
constexpr QRgb kBackground = 0xFF808080;

std::uint32_t colorRef(QRgb rgb)
{
    return std::uint32_t(qRed(rgb)) | std::uint32_t(qGreen(rgb)) << 8 |
           std::uint32_t(qBlue(rgb)) << 16;
}

class ColorPanelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        panel_test::ensureApplication();
        panel.layout(QRect(0, 0, kClientWidth, 700));
    }

    QImage paint() const
    {
        QImage image(kClientWidth, 700, QImage::Format_RGB32);
        image.fill(kBackground);
        QPainter painter(&image);
        panel.paint(painter);
        return image;
    }

    std::uint32_t swatchColor(const QImage& image, int position) const
    {
        return colorRef(image.pixel(panel.swatchRect(position).center()));
    }

    bool labelShown(const QImage& image, int position) const
    {
        return image.pixel(panel.labelRect(position).bottomRight() - QPoint(1, 1)) == 0xFFFFFFFF;
    }

    TempConfig temp;
    ColorPanel panel{temp.config};
    ColorPalette palette = defaultColorPalette();
};

TEST_F(ColorPanelTest, EmptyDesignPaintsNothingIgnoresClicksButPages)
{
    int pickerCalls = 0;
    panel.setPicker([&](QWidget*, int, const ColorPalette&) {
        ++pickerCalls;
        return std::optional<ColorChoice>(ColorChoice{7, 0x008000});
    });
    const QImage image = paint();
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(image.pixel(panel.swatchRect(i).center()), kBackground) << i;
    }
    EXPECT_FALSE(panel.click(panel.swatchRect(0).center(), nullptr, palette));
    EXPECT_EQ(pickerCalls, 0);

    // Pages run from 1 to 66 whatever the design.
    EXPECT_FALSE(panel.pageUp());
    int steps = 0;
    while (panel.pageDown()) {
        ++steps;
    }
    EXPECT_EQ(steps, 65);
    EXPECT_EQ(panel.page(), 66);
    EXPECT_TRUE(panel.pageUp());
    EXPECT_EQ(panel.page(), 65);
}

TEST_F(ColorPanelTest, TwentyBlocksShowPaletteCycleOnTwoPages)
{
    panel.designImported(20, palette);
    QImage image = paint();
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(swatchColor(image, i), palette.colors[std::size_t(i)]) << i;
        EXPECT_TRUE(labelShown(image, i)) << i;
    }
    ASSERT_TRUE(panel.pageDown());
    image = paint();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(swatchColor(image, i), palette.colors[std::size_t(i)]) << i;
    }
    for (int i = 5; i < 15; ++i) {
        EXPECT_EQ(image.pixel(panel.swatchRect(i).center()), kBackground) << i;
        EXPECT_FALSE(labelShown(image, i)) << i;
    }
}

TEST_F(ColorPanelTest, PickedColourGoesToTheBlockOfThePagePosition)
{
    panel.designImported(20, palette);
    panel.pageDown();
    std::vector<int> positions;
    std::optional<ColorChoice> answer = ColorChoice{7, 0x008000};
    panel.setPicker([&](QWidget*, int position, const ColorPalette&) {
        positions.push_back(position);
        return answer;
    });

    // Outside every swatch, and on a position past the design's blocks: no picker.
    EXPECT_FALSE(panel.click(panel.swatchRect(0).topLeft() - QPoint(3, 3), nullptr, palette));
    EXPECT_FALSE(panel.click(panel.swatchRect(6).center(), nullptr, palette));
    EXPECT_TRUE(positions.empty());

    EXPECT_TRUE(panel.click(panel.swatchRect(0).center(), nullptr, palette));
    EXPECT_EQ(positions, std::vector<int>{0});
    EXPECT_EQ(panel.colorNumbers()[15], 7);
    EXPECT_EQ(swatchColor(paint(), 0), 0x008000u);

    // A picker closed without a choice leaves the block alone.
    answer.reset();
    EXPECT_FALSE(panel.click(panel.swatchRect(1).center(), nullptr, palette));
    EXPECT_EQ(panel.colorNumbers()[16], 1);
}

TEST_F(ColorPanelTest, ImportResetsDisplayColoursKeepsNumbersAndPage)
{
    panel.designImported(20, palette);
    panel.setPicker([](QWidget*, int, const ColorPalette&) {
        return std::optional<ColorChoice>(ColorChoice{9, 0x123456});
    });
    ASSERT_TRUE(panel.click(panel.swatchRect(1).center(), nullptr, palette));
    panel.pageDown();
    panel.pageDown();

    panel.designImported(5, palette);
    EXPECT_EQ(panel.page(), 3);
    EXPECT_EQ(panel.colorNumbers()[1], 9);
    EXPECT_EQ(panel.displayColors()[1], palette.colors[1]);
    const QImage image = paint();
    EXPECT_EQ(image.pixel(panel.swatchRect(0).center()), kBackground);
}

TEST_F(ColorPanelTest, DesignBeyondTheSequenceGetsEntriesForItsFirstBlocksOnly)
{
    panel.designImported(1500, palette);
    EXPECT_EQ(panel.colorCount(), 1500);
    EXPECT_EQ(panel.displayColors().size(), 980u);
    EXPECT_EQ(panel.colorNumbers().size(), 980u);

    int pickerCalls = 0;
    panel.setPicker([&](QWidget*, int, const ColorPalette&) {
        ++pickerCalls;
        return std::optional<ColorChoice>(ColorChoice{2, 0xFF0000});
    });
    while (panel.pageDown()) {
    }
    // Page 66 holds blocks 976 to 990: the first five have entries, the rest none.
    const QImage image = paint();
    for (int i = 0; i < 5; ++i) {
        EXPECT_NE(image.pixel(panel.swatchRect(i).center()), kBackground) << i;
    }
    for (int i = 5; i < 15; ++i) {
        EXPECT_EQ(image.pixel(panel.swatchRect(i).center()), kBackground) << i;
    }
    EXPECT_FALSE(panel.click(panel.swatchRect(7).center(), nullptr, palette));
    EXPECT_EQ(pickerCalls, 0);
    EXPECT_TRUE(panel.click(panel.swatchRect(4).center(), nullptr, palette));
    EXPECT_EQ(panel.colorNumbers()[979], 2);
}

TEST_F(ColorPanelTest, ClickOpensTheRealPickerModally)
{
    panel.designImported(3, palette);
    QTimer::singleShot(50, [] {
        auto* picker = qobject_cast<CColorSetDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(picker, nullptr);
        QTest::mouseClick(picker, Qt::LeftButton, {}, picker->swatchRect(6).center());
    });
    EXPECT_TRUE(panel.click(panel.swatchRect(2).center(), nullptr, palette));
    EXPECT_EQ(panel.colorNumbers()[2], 7);
    EXPECT_EQ(panel.displayColors()[2], 0x008000u);
}

// The picker.

struct CaptionCase
{
    const char* language; // nullptr: no Language key at all
    int position;
    QString caption;
};

class PickerCaption : public ::testing::TestWithParam<CaptionCase>
{
};

TEST_P(PickerCaption, FollowsStoredLanguageAndPagePosition)
{
    panel_test::ensureApplication();
    TempConfig temp;
    temp.config.writeText("Z62_Net_Count", "count", "0");
    if (GetParam().language != nullptr) {
        temp.config.writeText("Z62Language", "Language", GetParam().language);
    }
    CColorSetDlg picker(nullptr, GetParam().position, defaultColorPalette(), temp.config);
    EXPECT_EQ(picker.windowTitle(), GetParam().caption);
}

INSTANTIATE_TEST_SUITE_P(Languages, PickerCaption,
                         ::testing::Values(CaptionCase{nullptr, 0, QStringLiteral("color1")},
                                           CaptionCase{"1", 2, QString::fromUtf8("换色3")},
                                           CaptionCase{"2", 14, QStringLiteral("color15")},
                                           CaptionCase{"0", 4, QStringLiteral("color5")},
                                           CaptionCase{"7", 0, QStringLiteral("color1")}));

class PickerTest : public ::testing::Test
{
protected:
    void SetUp() override { panel_test::ensureApplication(); }

    QImage grab(CColorSetDlg& picker)
    {
        picker.show();
        return picker.grab().toImage();
    }

    TempConfig temp;
};

TEST_F(PickerTest, ClickOnAnyOfFifteenRectanglesPicksItsNumber)
{
    ColorPalette palette = defaultColorPalette();
    palette.count = 3;
    CColorSetDlg picker(nullptr, 0, palette, temp.config);
    const QImage image = grab(picker);
    EXPECT_EQ(colorRef(image.pixel(picker.swatchRect(2).center())), palette.colors[2]);
    EXPECT_NE(colorRef(image.pixel(picker.swatchRect(5).center())), palette.colors[5]);

    // Past the painted swatches a click still picks that position's colour.
    QTest::mouseClick(&picker, Qt::LeftButton, {}, picker.swatchRect(10).center());
    EXPECT_TRUE(picker.chosen());
    EXPECT_EQ(picker.colorNumber(), 11);
    EXPECT_EQ(picker.displayColor(), palette.colors[10]);
}

TEST_F(PickerTest, OutsideClickAndEscapeChooseNothing)
{
    CColorSetDlg picker(nullptr, 0, defaultColorPalette(), temp.config);
    picker.show();
    QTest::mouseClick(&picker, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_FALSE(picker.chosen());
    EXPECT_TRUE(picker.isVisible());
    QTest::keyClick(&picker, Qt::Key_Escape);
    EXPECT_FALSE(picker.isVisible());
    EXPECT_FALSE(picker.chosen());
}

TEST_F(PickerTest, MachinePaletteCountOutOfRangePaintsTheFifteenColoursOnly)
{
    for (const std::int32_t count : {1000, -4}) {
        ColorPalette palette = defaultColorPalette();
        palette.count = count;
        CColorSetDlg picker(nullptr, 0, palette, temp.config);
        const QImage image = grab(picker);
        const std::uint32_t last = colorRef(image.pixel(picker.swatchRect(14).center()));
        EXPECT_EQ(last == palette.colors[14], count > 0) << count;
    }
}

} // namespace
