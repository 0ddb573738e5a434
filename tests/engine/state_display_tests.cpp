// The state line, the layout and the spinner, on the message thread.
#include "engine_test_support.h"

#include "app/palette.h"

namespace
{
struct Display : public ::testing::Test
{
    Display() : launcher(true, false, false), probe { launcher } { launcher.setSize(388, 78); }

    LauncherComponent launcher;
    LauncherComponentProbe probe;
    LogCollector log;
};

juce::Image render(LauncherComponent& launcher)
{
    juce::Image image(juce::Image::ARGB, launcher.getWidth(), launcher.getHeight(), true);
    juce::Graphics g(image);
    launcher.paint(g);
    return image;
}

int count_pixels(const juce::Image& image, juce::Colour colour)
{
    int n = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            n += image.getPixelAt(x, y) == colour ? 1 : 0;
    return n;
}
} // namespace

TEST_F(Display, StateTextTakesTheColourOfItsLevelAndIsLoggedOnlyWhenAsked)
{
    const std::pair<utils::Level, juce::Colour> levels[] = {
        { utils::Level::info, juce::Colours::white },
        { utils::Level::warning, Palette::warning },
        { utils::Level::error, Palette::error },
        { static_cast<utils::Level>(7), juce::Colour() },
    };

    for (const auto& [level, colour] : levels)
    {
        launcher.update_state("level " + juce::String((int) level), true, false, level);
        pump(30);
        EXPECT_EQ(probe.label().getText(), "level " + juce::String((int) level));
        EXPECT_EQ(probe.label().findColour(juce::Label::textColourId), colour);
        EXPECT_TRUE(probe.label().isVisible());
        EXPECT_TRUE(log.has("[STATE]: level " + juce::String((int) level)));
    }
    EXPECT_EQ(juce::Colour().getARGB(), 0x00000000u);

    launcher.update_state("quiet", false, false, utils::Level::info);
    launcher.update_state("second", false, false, utils::Level::info);
    pump(30);
    EXPECT_EQ(probe.label().getText(), "second");
    EXPECT_FALSE(log.has_starting("[STATE]: quiet"));
}

TEST_F(Display, OnlyAHidingStateHidesTheProgressBar)
{
    probe.bar().setVisible(true);
    launcher.update_state("keeps the bar", false, false, utils::Level::info);
    pump(30);
    EXPECT_TRUE(probe.bar().isVisible());

    launcher.update_state("hides the bar", false, true, utils::Level::error);
    pump(30);
    EXPECT_FALSE(probe.bar().isVisible());
}

TEST_F(Display, LayoutPlacesTheBarOverTheLowerPartOfTheLabel)
{
    EXPECT_EQ(probe.label().getBounds(), juce::Rectangle<int>(0, 16, 388, 59));
    EXPECT_EQ(probe.bar().getBounds(), juce::Rectangle<int>(0, 43, 388, 18));
    EXPECT_FALSE(probe.bar().isVisible());
}

TEST_F(Display, SpinnerPointCountTurnsPastItsLimitsOnEveryFourthFrame)
{
    launcher.animating = true;
    ASSERT_EQ(launcher.getFrameCounter(), 0); // a multiple of 4: every update moves the count

    probe.pointCount() = 599;
    for (auto expected : { 600, 601, 600, 599 })
    {
        launcher.update();
        EXPECT_EQ(probe.pointCount(), expected);
    }

    probe.pointCount() = 401;
    for (auto expected : { 400, 399, 400 })
    {
        launcher.update();
        EXPECT_EQ(probe.pointCount(), expected);
    }

    launcher.animating = false;
    launcher.update();
    EXPECT_EQ(probe.pointCount(), 400);

    // Let the framework's timer move the frame counter off a multiple of 4.
    launcher.animating = true;
    launcher.setFramesPerSecond(62);
    EXPECT_TRUE(pump_until([&] { return launcher.getFrameCounter() % 4 != 0; }, 2000));
    const auto count = probe.pointCount();
    launcher.update();
    EXPECT_EQ(probe.pointCount(), count);
}

TEST_F(Display, PaintShowsTheSpinnerOnlyWhileAnimating)
{
    const auto idle = render(launcher);
    EXPECT_EQ(count_pixels(idle, Palette::background), idle.getWidth() * idle.getHeight());

    launcher.animating = true;
    const auto spinning = render(launcher);
    const auto total = spinning.getWidth() * spinning.getHeight();
    EXPECT_GT(total - count_pixels(spinning, Palette::background), 60);
    // The dots lie on a circle of radius 12 around (width - 19, height / 2).
    EXPECT_EQ(spinning.getPixelAt(10, 39), Palette::background);
    EXPECT_EQ(spinning.getPixelAt(388 - 19, 39), Palette::background);
    EXPECT_NE(spinning.getPixelAt(388 - 19 + 12, 39), Palette::background);
}
