#include <gtest/gtest.h>

#include "app/SvLookAndFeel.h"
#include "app/embedded_font.h"
#include "app/palette.h"
#include "pixels.h"

namespace
{
const juce::Colour marker { 0xFFFF00FF };

struct TitleBar
{
    explicit TitleBar(const juce::String& name, bool dark = true) : laf(dark), window(name, Palette::background, 0, false) {}

    juce::Image draw(int w, int h, int titleSpaceX, int titleSpaceW, const juce::Image* icon, bool onLeft)
    {
        return pixels::render(juce::jmax(1, w), juce::jmax(1, h), marker, [&](juce::Graphics& g) {
            laf.drawDocumentWindowTitleBar(window, g, w, h, titleSpaceX, titleSpaceW, icon, onLeft);
        });
    }

    juce::SvLookAndFeel laf;
    juce::DocumentWindow window;
};

// Pixels clearly off the bar colour: the title's glyphs (or an icon).
std::function<bool(juce::Colour)> off(juce::Colour bar)
{
    return [bar](juce::Colour c) { return pixels::distance(c, bar) > 60; };
}

bool is_red(juce::Colour c)
{
    return c.getRed() > 120 && c.getGreen() < 60 && c.getBlue() < 60;
}

juce::Image solid_icon(int width, int height)
{
    juce::Image icon(juce::Image::ARGB, width, height, false);
    icon.clear(icon.getBounds(), juce::Colours::red);
    return icon;
}
} // namespace

TEST(SvLookAndFeel, ColourTableAndTypeface)
{
    juce::SvLookAndFeel laf(true);
    const std::pair<int, juce::Colour> table[] = {
        { 0x1001800, Palette::surface },   { 0x1000204, Palette::accent },    { 0x1000e00, Palette::accent },
        { 0x1000b00, Palette::surface },   { 0x1000f00, Palette::midGrey },   { 0x1000c00, Palette::lightGrey },
        { 0x1001f00, Palette::midGrey },   { 0x1000700, Palette::surface },   { 0x1000900, Palette::accent },
        { 0x1001900, Palette::midGrey },   { 0x1001a00, Palette::accent },    { 0x1000100, Palette::midGrey },
        { 0x1000101, Palette::surface },   { 0x1000102, Palette::foreground }, { 0x1000103, Palette::foreground },
        { 0x1000200, Palette::surface },   { 0x1000202, Palette::error },     { 0x1001b00, Palette::background },
        { 0x1001c00, Palette::accent },
    };
    for (const auto& [id, colour] : table)
        EXPECT_EQ(laf.findColour(id).getARGB(), colour.getARGB()) << std::hex << id;

    // Colours outside the table keep the dark scheme of LookAndFeel_V4.
    juce::LookAndFeel_V4 plain;
    EXPECT_EQ(laf.findColour(juce::Label::textColourId), plain.findColour(juce::Label::textColourId));
    EXPECT_EQ(laf.findColour(juce::TooltipWindow::outlineColourId), plain.findColour(juce::TooltipWindow::outlineColourId));

    // Fonts built from a height alone take the embedded typeface. (Native alert windows are asked
    // for, but the framework has none on Linux and always answers false there.)
    EXPECT_EQ(laf.getTypefaceForFont(juce::Font(12.0f))->getName(), embedded_font().getTypefaceName());
    EXPECT_EQ(laf.getTypefaceForFont(juce::Font(12.0f)).get(), embedded_font().getTypefacePtr().get());
}

TEST(SvLookAndFeel, TitleBarColoursForBothBars)
{
    for (const bool dark : { true, false })
    {
        SCOPED_TRACE(dark ? "dark" : "light");
        TitleBar bar("Solvanter Launcher", dark);
        const auto barColour = dark ? Palette::background : Palette::foreground;
        const auto textColour = dark ? Palette::foreground : Palette::background;

        const auto image = bar.draw(400, 30, 6, 300, nullptr, true);
        EXPECT_EQ(image.getPixelAt(0, 0), barColour);
        EXPECT_EQ(image.getPixelAt(399, 29), barColour);
        EXPECT_EQ(image.getPixelAt(300, 15), barColour);

        // The title is drawn from titleSpaceX + 4 in the text colour.
        const auto text = pixels::bounds_where(image, off(barColour));
        ASSERT_FALSE(text.isEmpty());
        EXPECT_GE(text.getX(), 10);
        EXPECT_LE(text.getX(), 12);
        EXPECT_LT(text.getRight(), 10 + embedded_font().withHeight(16.2f).getStringWidth("Solvanter Launcher") + 2);
        EXPECT_LE(pixels::nearest(image, textColour, text), 4);
    }
}

TEST(SvLookAndFeel, EmptyTitleBarDrawsNothing)
{
    TitleBar bar("Solvanter Launcher");
    for (const auto& [w, h] : { std::pair<int, int> { 0, 30 }, std::pair<int, int> { 300, 0 } })
    {
        const auto image = pixels::render(300, 30, marker, [&](juce::Graphics& g) {
            bar.laf.drawDocumentWindowTitleBar(bar.window, g, w, h, 6, 200, nullptr, true);
        });
        EXPECT_EQ(pixels::count_near(image, marker, image.getBounds(), 0), 300 * 30) << w << " x " << h;
    }
}

TEST(SvLookAndFeel, LongTitleEndsInAnEllipsisInsideItsSpace)
{
    TitleBar bar("Solvanter Launcher, with a name much too long for the space it gets");
    const auto image = bar.draw(400, 30, 6, 120, nullptr, true);
    const auto text = pixels::bounds_where(image, off(Palette::background));
    ASSERT_FALSE(text.isEmpty());
    EXPECT_GE(text.getX(), 10);
    EXPECT_LE(text.getRight(), 6 + 4 + 120);
    EXPECT_GT(text.getRight(), 6 + 4 + 120 - 16);

    // The last few columns hold only the dots: a low band at the baseline, no letter strokes.
    const auto tail = pixels::bounds_where(image, off(Palette::background),
                                           { text.getRight() - 9, 0, 9, 30 });
    EXPECT_LE(tail.getHeight(), 3);
    EXPECT_GT(tail.getY(), text.getY() + 6);
}

TEST(SvLookAndFeel, CentredTitleStaysWithinItsSpace)
{
    TitleBar bar("Solvanter Launcher");
    const auto textW = embedded_font().withHeight(16.2f).getStringWidth("Solvanter Launcher");

    // Room enough: centred in the bar.
    auto image = bar.draw(400, 30, 6, 350, nullptr, false);
    auto text = pixels::bounds_where(image, off(Palette::background));
    EXPECT_NEAR(text.getX(), (400 - textW) / 2 + 4, 2);

    // The centred box would pass the end of the title space: it is moved left to end there.
    image = bar.draw(400, 30, 6, 150, nullptr, false);
    text = pixels::bounds_where(image, off(Palette::background));
    EXPECT_NEAR(text.getX(), 6 + 150 - textW + 4, 2);

    // Never left of titleSpaceX.
    image = bar.draw(400, 30, 250, 140, nullptr, false);
    text = pixels::bounds_where(image, off(Palette::background));
    EXPECT_GE(text.getX(), 250 + 4);
}

TEST(SvLookAndFeel, IconArithmeticAndPlacement)
{
    struct Case
    {
        int iconW, iconH;
        juce::Rectangle<int> redArea;  // where the scaled icon lands
        int iconBoxW;
    };
    const Case cases[] = {
        { 256, 256, { 8, 7, 16, 16 }, 20 },   // square: iconH 16, iconW 20
        { 512, 256, { 8, 7, 32, 16 }, 36 },   // twice as wide: 2 x 16 + 4
        { 100, 256, { 6, 10, 4, 10 }, 4 },    // narrower than tall: just the 4
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(juce::String(c.iconW) + " x " + juce::String(c.iconH));
        TitleBar bar("Solvanter Launcher");
        const auto icon = solid_icon(c.iconW, c.iconH);
        const auto image = bar.draw(400, 30, 6, 350, &icon, true);

        EXPECT_EQ(pixels::bounds_where(image, is_red), c.redArea);

        // The title box starts 4 pixels right of the icon's box.
        const auto textArea = juce::Rectangle<int>(6 + c.iconBoxW, 0, 400 - 6 - c.iconBoxW, 30);
        const auto text = pixels::bounds_where(
            image, [](juce::Colour p) { return p.getGreen() > 120 && p.getBlue() > 120; }, textArea);
        EXPECT_GE(text.getX(), 6 + c.iconBoxW + 4);
        EXPECT_LE(text.getX(), 6 + c.iconBoxW + 6);

        // The window is not active, so the icon is drawn at 0.6 opacity; the text is not dimmed.
        const auto centre = c.redArea.getCentre();
        EXPECT_LE(pixels::distance(image.getPixelAt(centre.x, centre.y),
                                   pixels::over(Palette::background, juce::Colours::red, 0.6f)), 2);
        EXPECT_LE(pixels::nearest(image, Palette::foreground, text), 2);
    }
}

TEST(SvLookAndFeel, TooltipIsARoundedDarkBoxWithCentredAccentText)
{
    juce::SvLookAndFeel laf(true);
    juce::Image image(juce::Image::ARGB, 160, 30, true);
    {
        juce::Graphics g(image);
        laf.drawTooltip(g, "Tip", 160, 30);
    }

    // Rounded corners leave the very corner clear; no outline is drawn.
    EXPECT_EQ(image.getPixelAt(0, 0).getAlpha(), 0);
    EXPECT_EQ(image.getPixelAt(159, 29).getAlpha(), 0);
    EXPECT_EQ(image.getPixelAt(2, 15), Palette::background);
    EXPECT_EQ(image.getPixelAt(80, 0), Palette::background);

    const auto text = pixels::bounds_where(image, [](juce::Colour c) {
        return c.getAlpha() == 255 && pixels::distance(c, Palette::background) > 60;
    });
    ASSERT_FALSE(text.isEmpty());
    EXPECT_NEAR(text.getCentreX(), 80, 2);
    EXPECT_NEAR(text.getCentreY(), 15, 3);
    EXPECT_LE(pixels::nearest(image, Palette::accent, text), 8);

    // Height 13, not bold: the glyphs are about as tall as the embedded font makes them.
    const auto expectedWidth = embedded_font().withHeight(13.0f).getStringWidthFloat("Tip");
    EXPECT_NEAR(text.getWidth(), expectedWidth, 3.0f);
}
