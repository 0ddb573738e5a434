// The state line, the layout and the spinner, on the message thread. Colours as the design gives them.
#include "support/scene.h"

#include <algorithm>
#include <map>

#include "support/look.h"

using expected::background;

namespace
{
struct Display : public ::testing::Test
{
    Display() { launcher.setSize(388, 78); }

    // Paints the component into `image`; how many pixels each colour has.
    std::map<juce::uint32, int> paint()
    {
        image = pixels::render(388, 78, juce::Colours::magenta, [&](juce::Graphics& g) { launcher.paint(g); });
        std::map<juce::uint32, int> counts;
        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                ++counts[image.getPixelAt(x, y).getARGB()];
        return counts;
    }

    CapturedLog log;
    LauncherComponent launcher { true, false, false };
    LauncherComponentProbe probe { launcher };
    juce::Image image;
};
} // namespace

TEST_F(Display, StateTextTakesItsLevelColourAndIsLoggedAndHidesTheBarOnlyWhenAsked)
{
    // The bar lies over the lower part of the label.
    EXPECT_EQ(probe.label().getBounds(), juce::Rectangle<int>(0, 16, 388, 59));
    EXPECT_EQ(probe.bar().getBounds(), juce::Rectangle<int>(0, 43, 388, 18));
    EXPECT_FALSE(probe.bar().isVisible());

    const struct
    {
        utils::Level level;
        juce::Colour colour;
        bool log, hide;
    } rows[] = {
        { utils::Level::info, expected::info, true, false },
        { utils::Level::warning, expected::warning, false, true },
        { utils::Level::error, expected::error, true, true },
        { static_cast<utils::Level>(7), {}, true, false },
    };
    for (const auto& row : rows)
    {
        const auto text = "level " + juce::String((int) row.level);
        SCOPED_TRACE(text);
        probe.bar().setVisible(true);
        launcher.update_state("replaced", false, false, utils::Level::error);
        launcher.update_state(text, row.log, row.hide, row.level);
        pump(30);
        EXPECT_EQ(probe.label().getText(), text);
        EXPECT_EQ(probe.label().findColour(juce::Label::textColourId), row.colour);
        EXPECT_TRUE(probe.label().isVisible());
        EXPECT_EQ(log.logged({ "[STATE]: " + text }), row.log);
        EXPECT_EQ(probe.bar().isVisible(), ! row.hide);
    }
    EXPECT_FALSE(log.logged({ "[STATE]: replaced" }));
}

TEST_F(Display, SpinnerPointCountTurnsPastItsLimitsOnEveryFourthFrame)
{
    launcher.animating = true;
    ASSERT_EQ(launcher.getFrameCounter(), 0); // a multiple of 4: every update moves the count
    for (const auto& [start, counts] : { std::pair<int, std::vector<int>> { 599, { 600, 601, 600, 599 } },
                                         std::pair<int, std::vector<int>> { 401, { 400, 399, 400 } } })
    {
        probe.pointCount() = start;
        for (auto expected : counts)
        {
            launcher.update();
            EXPECT_EQ(probe.pointCount(), expected);
        }
    }

    launcher.animating = false;
    launcher.update();
    EXPECT_EQ(probe.pointCount(), 400);

    // Let the framework's timer move the frame counter off a multiple of 4.
    launcher.animating = true;
    launcher.setFramesPerSecond(62);
    ASSERT_TRUE(wait_until([&] { return launcher.getFrameCounter() % 4 != 0; }, 2000));
    const auto count = probe.pointCount();
    launcher.update();
    EXPECT_EQ(probe.pointCount(), count);
}

TEST_F(Display, PaintShowsTheSpinnerOnlyWhileAnimating)
{
    EXPECT_EQ(paint(), (std::map<juce::uint32, int> { { background.getARGB(), 388 * 78 } }));

    launcher.animating = true;
    auto counts = paint();
    EXPECT_LT(counts[background.getARGB()], 388 * 78 - 60);
    // Most of the rest is the dots' solid inside.
    counts.erase(background.getARGB());
    const auto commonest = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; });
    EXPECT_EQ(juce::Colour(commonest->first), expected::accent);
    // The dots lie on a circle of radius 12 around (width - 19, height / 2).
    EXPECT_EQ(image.getPixelAt(10, 39), background);
    EXPECT_EQ(image.getPixelAt(388 - 19, 39), background);
    EXPECT_NE(image.getPixelAt(388 - 19 + 12, 39), background);
}
