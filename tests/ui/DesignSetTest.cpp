#include <gtest/gtest.h>

#include <tuple>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "link/CommandPacket.h"
#include "control/LinkState.h"
#include "tests/ui/PanelTestSupport.h"
#include "ui/CDesignSet.h"
#include "ui/ControlIds.h"
#include "ui/DirectionImages.h"
#include "ui/MessageBoxes.h"

namespace {

using namespace std::chrono_literals;
using panel_test::FakeMachine;
using panel_test::TempConfig;

// Where the letter's stem lies and at which end of it the bowl sits.
struct Orientation
{
    char stem; // 'L', 'R', 'T', 'B'
    char bowl; // end of the stem: 'T'/'B' for an upright stem, 'L'/'R' for a lying one
    bool operator==(const Orientation&) const = default;
};

Orientation orientationOf(const QImage& image)
{
    const auto dark = [&](int x, int y) { return qGray(image.pixel(x, y)) < 128; };
    const int size = image.width();
    int bestColumn = 0, bestColumnRun = 0, bestRow = 0, bestRowRun = 0;
    for (int i = 0; i < size; ++i) {
        int column = 0, row = 0;
        for (int j = 0; j < size; ++j) {
            column += dark(i, j);
            row += dark(j, i);
        }
        if (column > bestColumnRun) {
            bestColumnRun = column;
            bestColumn = i;
        }
        if (row > bestRowRun) {
            bestRowRun = row;
            bestRow = i;
        }
    }
    int firstHalf = 0, secondHalf = 0;
    const bool upright = bestColumnRun > bestRowRun;
    for (int x = 0; x < size; ++x) {
        for (int y = 0; y < size; ++y) {
            const int along = upright ? y : x;
            (along < size / 2 ? firstHalf : secondHalf) += dark(x, y);
        }
    }
    if (upright) {
        return {bestColumn < size / 2 ? 'L' : 'R', firstHalf > secondHalf ? 'T' : 'B'};
    }
    return {bestRow < size / 2 ? 'T' : 'B', firstHalf > secondHalf ? 'L' : 'R'};
}

TEST(DirectionImages, LetterTurnsAsEachDirectionSays)
{
    const Orientation expected[8] = {{'L', 'T'}, {'B', 'L'}, {'R', 'B'}, {'T', 'R'},
                                     {'R', 'T'}, {'T', 'L'}, {'L', 'B'}, {'B', 'R'}};
    for (int d = 0; d < 8; ++d) {
        const QImage image = directionImage(d);
        EXPECT_EQ(image.size(), QSize(32, 32)) << d;
        const Orientation got = orientationOf(image);
        EXPECT_EQ(got.stem, expected[d].stem) << d;
        EXPECT_EQ(got.bowl, expected[d].bowl) << d;
    }
}

class DesignSetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        panel_test::ensureApplication();
        temp.writeMachines({"127.0.0.1"}, {1});
        temp.config.writeText("Z62Language", "Language", "2");
        settings = machine.settings(temp.config);
        previousHook = setMessageHook([this](const QString& text) { messages << text; });
    }
    void TearDown() override { setMessageHook(previousHook); }

    std::unique_ptr<CDesignSet> open(std::span<const std::int32_t> numbers, int count)
    {
        return std::make_unique<CDesignSet>(nullptr, temp.config, settings, state, "127.0.0.1",
                                            numbers, count);
    }
    static QPushButton* button(QWidget* dialog, ParamControl id)
    {
        return dialog->findChild<QPushButton*>(controlName(id));
    }
    static QLineEdit* edit(QWidget* dialog, ParamControl id)
    {
        return dialog->findChild<QLineEdit*>(controlName(id));
    }
    static void type(QWidget* dialog, ParamControl id, const QString& text)
    {
        QLineEdit* line = edit(dialog, id);
        line->selectAll();
        line->del();
        QTest::keyClicks(line, text);
    }

    // The parameter block of the one datagram the machine received.
    std::optional<ParameterBlock> receivedBlock()
    {
        const auto received = machine.waitFor(1, 2s);
        if (received.size() != 1u || received[0].bytes.size() < kHeaderSize)
            return std::nullopt;
        return ParameterBlock::decode(
            std::span<const std::uint8_t>(received[0].bytes).subspan(kHeaderSize));
    }

    TempConfig temp;
    FakeMachine machine;
    LinkSettings settings;
    LinkState state;
    QStringList messages;
    MessageHook previousHook;
    std::vector<std::int32_t> colors = std::vector<std::int32_t>(20, 1);
};

TEST_F(DesignSetTest, DirectionButtonStepsThroughEightImages)
{
    auto dialog = open(colors, 20);
    for (int i = 0; i < 9; ++i) {
        button(dialog.get(), ParamControl::Direction)->click();
    }
    EXPECT_EQ(dialog->direction(), 1);
    const QImage shown = button(dialog.get(), ParamControl::Direction)
                             ->icon()
                             .pixmap(32, 32)
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, directionImage(1));
}

TEST_F(DesignSetTest, ModeButtonsToggleTheirTextsInTheStoredLanguage)
{
    struct Case
    {
        const char* language;
        ParamControl id;
        const char* first;
        const char* second;
    };
    const Case cases[] = {
        {"2", ParamControl::PriorityMode, "Zoom priority", "Rotation priority"},
        {"0", ParamControl::RepeatMode, "Usually repeated", "Local recurrence"},
        {"1", ParamControl::RepeatOrder, "X优先", "Y优先"},
    };
    for (const Case& c : cases) {
        temp.config.writeText("Z62Language", "Language", c.language);
        auto dialog = open(colors, 20);
        QPushButton* mode = button(dialog.get(), c.id);
        EXPECT_EQ(mode->text(), QString::fromUtf8(c.first)) << controlNumber(c.id);
        mode->click();
        EXPECT_EQ(mode->text(), QString::fromUtf8(c.second)) << controlNumber(c.id);
        mode->click();
        EXPECT_EQ(mode->text(), QString::fromUtf8(c.first)) << controlNumber(c.id);
    }
}

TEST_F(DesignSetTest, AngleTakesDigitsOnlySpacingTakesSign)
{
    auto dialog = open(colors, 20);
    type(dialog.get(), ParamControl::Angle, QStringLiteral("-4a5"));
    EXPECT_EQ(edit(dialog.get(), ParamControl::Angle)->text(), QStringLiteral("45"));
    type(dialog.get(), ParamControl::RepeatSpacingX, QStringLiteral("-50"));
    EXPECT_EQ(edit(dialog.get(), ParamControl::RepeatSpacingX)->text(), QStringLiteral("-50"));
}

TEST_F(DesignSetTest, SendIsRefusedWithoutAReportedDesign)
{
    auto dialog = open(colors, 20);
    button(dialog.get(), ParamControl::Send)->click();
    EXPECT_EQ(messages, QStringList{QStringLiteral("No matching design!")});
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(machine.received().empty());
}

TEST_F(DesignSetTest, SendCarriesTheValuesAndTheyCanBeShownAgain)
{
    state.currentDesignId = 77;
    colors[15] = 7;
    auto dialog = open(colors, 20);
    for (int i = 0; i < 3; ++i) {
        button(dialog.get(), ParamControl::Direction)->click();
    }
    button(dialog.get(), ParamControl::RepeatMode)->click();
    type(dialog.get(), ParamControl::Angle, QStringLiteral("45"));
    type(dialog.get(), ParamControl::ScaleX, QStringLiteral("120"));
    type(dialog.get(), ParamControl::ScaleY, QStringLiteral("80"));
    type(dialog.get(), ParamControl::RepeatCountX, QStringLiteral("2"));
    type(dialog.get(), ParamControl::RepeatSpacingX, QStringLiteral("-50"));
    button(dialog.get(), ParamControl::Send)->click();

    const auto received = machine.waitFor(1, 2s);
    ASSERT_EQ(received.size(), 1u);
    ASSERT_EQ(received[0].bytes.size(), kParametersSize);
    EXPECT_EQ(panel_test::readI32(received[0].bytes, 4), 9);
    EXPECT_EQ(panel_test::readI32(received[0].bytes, 12), 77);
    const auto block = ParameterBlock::decode(
        std::span<const std::uint8_t>(received[0].bytes).subspan(kHeaderSize));
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->patternDirection, 3);
    EXPECT_EQ(block->angle, 45);
    EXPECT_EQ(block->scaleX, 120);
    EXPECT_EQ(block->scaleY, 80);
    EXPECT_EQ(block->repeatMode, 1);
    EXPECT_EQ(block->priorityMode, 0);
    EXPECT_EQ(block->repeatCountX, 2);
    EXPECT_EQ(block->repeatCountY, 1);
    EXPECT_EQ(block->repeatSpacingX, -50);
    EXPECT_EQ(block->colorCount, 20);
    EXPECT_EQ(block->colorSequence[15], 7);
    EXPECT_EQ(block->colorSequence[19], 1);
    EXPECT_EQ(block->colorSequence[20], 0);
    ASSERT_TRUE(dialog->lastSent().has_value());
    const CDesignSet::Values sent = *dialog->lastSent();
    dialog.reset();

    // A fresh dialog starts from the defaults; handed the values last sent, it shows them.
    for (const bool handed : {false, true}) {
        SCOPED_TRACE(handed);
        auto reopened = open(colors, 20);
        if (handed)
            reopened->setValues(sent);
        EXPECT_EQ(reopened->direction(), handed ? 3 : 0);
        EXPECT_EQ(button(reopened.get(), ParamControl::RepeatMode)->text(),
                  handed ? QStringLiteral("Local recurrence") : QStringLiteral("Usually repeated"));
        const std::tuple<ParamControl, const char*, const char*> shown[] = {
            {ParamControl::Angle, "0", "45"},         {ParamControl::ScaleX, "100", "120"},
            {ParamControl::ScaleY, "100", "80"},      {ParamControl::RepeatCountX, "1", "2"},
            {ParamControl::RepeatCountY, "1", "1"},   {ParamControl::RepeatSpacingX, "0", "-50"},
            {ParamControl::RepeatSpacingY, "0", "0"},
        };
        for (const auto& [id, initial, last] : shown) {
            EXPECT_EQ(edit(reopened.get(), id)->text(), QLatin1String(handed ? last : initial))
                << controlNumber(id);
        }
        EXPECT_FALSE(reopened->lastSent().has_value());
    }
}

TEST_F(DesignSetTest, FieldOutsideItsRangeIsRefusedByNameAndNothingIsSent)
{
    state.currentDesignId = 77;
    const struct
    {
        ParamControl id;
        const char* typed;
        const char* message;
    } cases[] = {
        {ParamControl::Angle, "120", "Angle must be a whole number from 0 to 89 (not \"120\")"},
        {ParamControl::ScaleX, "abc", "Zoom X must be a whole number from 50 to 200"},
        {ParamControl::ScaleY, "49", "Zoom Y must be a whole number from 50 to 200"},
        {ParamControl::RepeatCountX, "0", "Number of repetitions X must be a whole number from 1 to 99"},
        {ParamControl::RepeatCountY, "", "Number of repetitions Y must be a whole number from 1 to 99"},
        {ParamControl::RepeatSpacingX, "1000", "Repeated spacing X must be a whole number from -999 to 999"},
        {ParamControl::RepeatSpacingY, "5x", "Repeated spacing Y must be a whole number from -999 to 999"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(controlNumber(c.id));
        messages.clear();
        auto dialog = open(colors, 20);
        type(dialog.get(), c.id, QString::fromUtf8(c.typed));
        EXPECT_FALSE(dialog->sendParameters());
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0].startsWith(QString::fromUtf8(c.message))) << messages[0].toStdString();
        EXPECT_TRUE(messages[0].endsWith(QStringLiteral("the parameters were not sent!")));
        EXPECT_FALSE(dialog->lastSent().has_value());
    }
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(machine.received().empty());
}

TEST_F(DesignSetTest, DesignBeyondTheSequenceSendsItsFirstEntries)
{
    state.currentDesignId = 5;
    std::vector<std::int32_t> many(980, 3);
    auto dialog = open(many, 1500);
    button(dialog.get(), ParamControl::Send)->click();
    const auto block = receivedBlock();
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->colorCount, 980);
    EXPECT_EQ(block->colorSequence[979], 3);
}

TEST_F(DesignSetTest, EnterInAnEditSendsOrIsRefusedAndEscapeCloses)
{
    state.currentDesignId = 77;
    for (const char* angle : {"120", "45"}) {
        SCOPED_TRACE(angle);
        messages.clear();
        auto dialog = open(colors, 20);
        dialog->show();
        type(dialog.get(), ParamControl::Angle, QString::fromLatin1(angle));
        QLineEdit* field = edit(dialog.get(), ParamControl::Angle);
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_TRUE(dialog->isVisible()) << "Enter never closes the dialog";
        EXPECT_EQ(dialog->lastSent().has_value(), angle[0] == '4');
        EXPECT_EQ(messages.size(), angle[0] == '4' ? 0 : 1);
        QTest::keyClick(field, Qt::Key_Escape);
        EXPECT_FALSE(dialog->isVisible());
    }
    const auto block = receivedBlock();
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->angle, 45);
}

} // namespace
