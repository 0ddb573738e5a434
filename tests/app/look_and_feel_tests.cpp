#include <gtest/gtest.h>

#include <memory>

#include "app/SvLookAndFeel.h"
#include "support/look.h"

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

// On the 30-pixel title bar a button is 36 x 30 and its shape fits the square (12, 9, 12, 12).
const juce::Rectangle<int> shapeBox { 12, 9, 12, 12 };

// The button's fill (a corner), and the shape's colour: the pixel of the shape box farthest from
// that fill. A 1.8-pixel stroke may cover no pixel fully, so the shape may fall 15 % short. Nothing
// of the shape lies outside its square.
void expect_look(juce::Button& button, juce::Colour fill, juce::Colour shape, const char* state)
{
    const auto image = pixels::render(36, 30, juce::Colours::magenta,
                                      [&](juce::Graphics& g) { button.paintEntireComponent(g, false); });
    const auto corner = image.getPixelAt(1, 1);
    auto drawn = corner;
    for (int y = shapeBox.getY(); y < shapeBox.getBottom(); ++y)
        for (int x = shapeBox.getX(); x < shapeBox.getRight(); ++x)
            if (pixels::distance(image.getPixelAt(x, y), corner) > pixels::distance(drawn, corner))
                drawn = image.getPixelAt(x, y);

    EXPECT_LE(pixels::distance(corner, fill), 1) << state << ": fill " << corner.toDisplayString(true);
    EXPECT_LE(pixels::distance(drawn, shape), pixels::distance(fill, shape) * 15 / 100 + 3)
        << state << ": shape " << drawn.toDisplayString(true);
    const auto shapeArea = pixels::bounds_where(image, [&](juce::Colour c) { return pixels::distance(c, corner) > 40; });
    EXPECT_TRUE(shapeBox.expanded(1).contains(shapeArea)) << state << ": shape at " << shapeArea.toString();
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

// A hovered button inverts; the close button turns red-orange instead. Pressed counts as hovered,
// its square at 0.6 alpha (never the close button's red). The light bar, which the launcher itself
// does not use, takes dark shapes so that they show.
TEST(SvDocumentWindowButton, IdleHoverPressedAndDisabledColours)
{
    for (const bool dark : { true, false })
    {
        juce::SvLookAndFeel laf(dark);
        const auto bar = dark ? expected::background : expected::foreground;
        const auto ink = dark ? expected::foreground : expected::background;
        const auto dimmed = pixels::over(bar, ink, 0.6f);

        for (const int kind : { juce::DocumentWindow::closeButton, juce::DocumentWindow::minimiseButton,
                                juce::DocumentWindow::maximiseButton })
        {
            std::unique_ptr<juce::Button> button(laf.createDocumentWindowButton(kind));
            ASSERT_NE(button, nullptr);
            SCOPED_TRACE(button->getName() + (dark ? " on the dark bar" : " on the light bar"));
            const bool close = kind == juce::DocumentWindow::closeButton;
            button->setSize(36, 30);

            expect_look(*button, bar, ink, "idle");
            button->setState(juce::Button::buttonOver);
            expect_look(*button, close ? expected::error : ink, bar, "hover");
            button->setState(juce::Button::buttonDown);
            expect_look(*button, close ? expected::error : dimmed, bar, "pressed");
            button->setState(juce::Button::buttonNormal);
            button->setEnabled(false);
            expect_look(*button, bar, dimmed, "disabled");
        }
    }
}
