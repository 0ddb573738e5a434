#include <gtest/gtest.h>

#include "app/SvLookAndFeel.h"
#include "expected_values.h"
#include "pixels.h"

namespace
{
// A 400 x 30 bar whose title space starts at x 6, title on the left as MainWindow has it.
// Pixels clearly off the bar colour are the title's glyphs, or an icon.
juce::Image title_bar(bool dark, const juce::String& title, int titleSpaceW, const juce::Image* icon = nullptr)
{
    juce::SvLookAndFeel laf(dark);
    juce::DocumentWindow window(title, expected::background, 0, false);
    return pixels::render(400, 30, juce::Colours::magenta, [&](juce::Graphics& g) {
        laf.drawDocumentWindowTitleBar(window, g, 400, 30, 6, titleSpaceW, icon, true);
    });
}
} // namespace

TEST(SvLookAndFeel, TitleBarColoursForBothBars)
{
    for (const bool dark : { true, false })
    {
        SCOPED_TRACE(dark ? "dark" : "light");
        const auto bar = dark ? expected::background : expected::foreground;
        const auto ink = dark ? expected::foreground : expected::background;
        const auto image = title_bar(dark, expected::appName, 300);

        EXPECT_EQ(image.getPixelAt(0, 0), bar);
        EXPECT_EQ(image.getPixelAt(399, 29), bar);

        // The title starts at titleSpaceX + 4.
        const auto text = pixels::bounds_where(image, pixels::off(bar, 60));
        ASSERT_FALSE(text.isEmpty());
        EXPECT_NEAR(text.getX(), 11, 1);
        // As wide as the title in the embedded typeface, which the look and feel makes its default.
        juce::SvLookAndFeel laf(dark);
        const juce::Font font(laf.getTypefaceForFont(juce::Font()));
        ASSERT_EQ(font.getTypefaceName(), expected::typeface);
        EXPECT_NEAR(text.getRight(), 10 + font.withHeight(expected::titleHeight).getStringWidth(expected::appName), 2);
        EXPECT_FALSE(pixels::bounds_where(image, pixels::near(ink, 4), text).isEmpty());
    }
}

TEST(SvLookAndFeel, LongTitleEndsInAnEllipsisInsideItsSpace)
{
    const auto image = title_bar(true, "Solvanter Launcher, with a name much too long for the space it gets", 120);
    const auto text = pixels::bounds_where(image, pixels::off(expected::background, 60));
    ASSERT_FALSE(text.isEmpty());
    EXPECT_LE(text.getRight(), 6 + 4 + 120);
    EXPECT_GT(text.getRight(), 6 + 4 + 120 - 16);

    // The last columns hold only the dots: a low band at the baseline, no letter strokes.
    const auto tail = pixels::bounds_where(image, pixels::off(expected::background, 60), { text.getRight() - 9, 0, 9, 30 });
    EXPECT_LE(tail.getHeight(), 3);
    EXPECT_GT(tail.getY(), text.getY() + 6);
}

// A 16-pixel icon (the font height rounded) whose box is (width / height) x 16 + 4 wide, the
// quotient taken in whole numbers; the title follows the box. The window is not active, so the
// icon is drawn at 0.6 opacity and the title is not.
TEST(SvLookAndFeel, IconArithmeticAndPlacement)
{
    struct Case
    {
        int iconW, iconH;
        juce::Rectangle<int> drawn;
        int boxW;
    };
    const Case cases[] = {
        { 256, 256, { 8, 7, 16, 16 }, 20 },
        { 512, 256, { 8, 7, 32, 16 }, 36 },
        { 100, 256, { 6, 10, 4, 10 }, 4 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(juce::String(c.iconW) + " x " + juce::String(c.iconH));
        juce::Image icon(juce::Image::ARGB, c.iconW, c.iconH, false);
        icon.clear(icon.getBounds(), juce::Colours::red);
        const auto image = title_bar(true, "Solvanter Launcher", 350, &icon);

        EXPECT_EQ(pixels::bounds_where(image, [](juce::Colour p) { return p.getRed() > 120 && p.getGreen() < 60; }), c.drawn);
        const auto centre = c.drawn.getCentre();
        EXPECT_LE(pixels::distance(image.getPixelAt(centre.x, centre.y),
                                   pixels::over(expected::background, juce::Colours::red, 0.6f)), 2);

        const auto text = pixels::bounds_where(image, pixels::off(expected::background, 60), { 6 + c.boxW, 0, 300, 30 });
        EXPECT_NEAR(text.getX(), 6 + c.boxW + 5, 1);
        EXPECT_FALSE(pixels::bounds_where(image, pixels::near(expected::foreground, 2), text).isEmpty());
    }
}
