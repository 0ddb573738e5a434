// The state line, the layout and the spinner, on the message thread.
#include "engine_test_support.h"

#include "ui/palette.h"

namespace
{
struct Display : public ::testing::Test
{
    Display() { launcher.setSize(388, 78); }

    CapturedLog log;
    LauncherComponent launcher { true, false, false };
    LauncherComponentProbe probe { launcher };
};

// Paints the component into `image` and counts the pixels that are not the background.
int foreground_pixels(LauncherComponent& launcher, juce::Image& image)
{
    image = juce::Image(juce::Image::ARGB, launcher.getWidth(), launcher.getHeight(), true);
    {
        juce::Graphics g(image);
        launcher.paint(g);
    }
    int n = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            n += image.getPixelAt(x, y) == Palette::background ? 0 : 1;
    return n;
}
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
        { utils::Level::info, juce::Colours::white, true, false },
        { utils::Level::warning, Palette::warning, false, true },
        { utils::Level::error, Palette::error, true, true },
        { static_cast<utils::Level>(7), juce::Colour(0x00000000u), true, false },
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
    ASSERT_TRUE(pump_until([&] { return launcher.getFrameCounter() % 4 != 0; }, 2000));
    const auto count = probe.pointCount();
    launcher.update();
    EXPECT_EQ(probe.pointCount(), count);
}

TEST_F(Display, PaintShowsTheSpinnerOnlyWhileAnimating)
{
    juce::Image image;
    EXPECT_EQ(foreground_pixels(launcher, image), 0);

    launcher.animating = true;
    EXPECT_GT(foreground_pixels(launcher, image), 60);
    // The dots lie on a circle of radius 12 around (width - 19, height / 2).
    EXPECT_EQ(image.getPixelAt(10, 39), Palette::background);
    EXPECT_EQ(image.getPixelAt(388 - 19, 39), Palette::background);
    EXPECT_NE(image.getPixelAt(388 - 19 + 12, 39), Palette::background);
}
