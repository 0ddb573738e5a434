#include <gtest/gtest.h>

#include <memory>

#include "app/SvLookAndFeel.h"
#include "expected_values.h"
#include "pixels.h"

namespace
{
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
