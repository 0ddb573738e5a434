#include <gtest/gtest.h>

#include <memory>

#include "app/SvDocumentWindowButton.h"
#include "app/SvLookAndFeel.h"
#include "app/palette.h"
#include "pixels.h"

namespace
{
// The title bar's buttons are 36 x 30; the shape fits the square (12, 9, 12, 12).
const juce::Rectangle<int> shapeBox { 12, 9, 12, 12 };

std::unique_ptr<juce::Button> make(juce::SvLookAndFeel& laf, int kind)
{
    std::unique_ptr<juce::Button> button(laf.createDocumentWindowButton(kind));
    if (button != nullptr)
        button->setSize(36, 30);
    return button;
}

juce::Image snapshot(juce::Button& button)
{
    return pixels::render(36, 30, juce::Colours::magenta, [&](juce::Graphics& g) { button.paintEntireComponent(g, false); });
}

// Corner: the button's fill. Shape: the pixel of the shape box farthest from that fill.
struct Look
{
    juce::Colour corner;
    juce::Colour shape;
};

Look look_of(juce::Button& button)
{
    const auto image = snapshot(button);
    const auto corner = image.getPixelAt(1, 1);
    auto shape = corner;
    for (int y = shapeBox.getY(); y < shapeBox.getBottom(); ++y)
        for (int x = shapeBox.getX(); x < shapeBox.getRight(); ++x)
            if (pixels::distance(image.getPixelAt(x, y), corner) > pixels::distance(shape, corner))
                shape = image.getPixelAt(x, y);
    return { corner, shape };
}

void expect_look(juce::Button& button, juce::Colour corner, juce::Colour shape, const char* what)
{
    // A 1.8-pixel stroke may cover no pixel fully: allow the strongest one 15 % short of the colour.
    const auto look = look_of(button);
    EXPECT_LE(pixels::distance(look.corner, corner), 1) << what << ": corner " << look.corner.toDisplayString(true);
    EXPECT_LE(pixels::distance(look.shape, shape), pixels::distance(corner, shape) * 15 / 100 + 3)
        << what << ": shape " << look.shape.toDisplayString(true);
}
} // namespace

TEST(SvDocumentWindowButton, FactoryMakesThreeKindsOnly)
{
    juce::SvLookAndFeel laf(true);
    EXPECT_EQ(make(laf, juce::DocumentWindow::closeButton)->getName(), "close");
    EXPECT_EQ(make(laf, juce::DocumentWindow::minimiseButton)->getName(), "minimise");
    EXPECT_EQ(make(laf, juce::DocumentWindow::maximiseButton)->getName(), "maximise");
    for (const int kind : { 0, 3, 5, 7, 8, -1 })
        EXPECT_EQ(make(laf, kind), nullptr) << kind;

    for (const int kind : { 1, 2, 4 })
        EXPECT_NE(dynamic_cast<juce::SvDocumentWindowButton*>(make(laf, kind).get()), nullptr);
}

TEST(SvDocumentWindowButton, IdleHoverPressedAndDisabledColours)
{
    juce::SvLookAndFeel laf(true);
    const auto bg = Palette::background;
    const auto fg = Palette::foreground;
    const auto dimmed = pixels::over(bg, fg, 0.6f);

    for (const int kind : { 1, 2, 4 })
    {
        auto button = make(laf, kind);
        SCOPED_TRACE(button->getName());
        const bool close = kind == juce::DocumentWindow::closeButton;

        expect_look(*button, bg, fg, "idle");

        button->setState(juce::Button::buttonOver);
        expect_look(*button, close ? Palette::error : fg, bg, "hover");

        // Pressed is drawn highlighted too: the square takes the 0.6 alpha, the close square not.
        button->setState(juce::Button::buttonDown);
        expect_look(*button, close ? Palette::error : dimmed, bg, "pressed");

        button->setState(juce::Button::buttonNormal);
        button->setEnabled(false);
        expect_look(*button, bg, dimmed, "disabled");
    }
}

TEST(SvDocumentWindowButton, DisabledByItsParent)
{
    juce::SvLookAndFeel laf(true);
    juce::Component parent;
    auto button = make(laf, juce::DocumentWindow::minimiseButton);
    parent.addAndMakeVisible(*button);
    parent.setEnabled(false);
    expect_look(*button, Palette::background, pixels::over(Palette::background, Palette::foreground, 0.6f), "parent disabled");
    parent.removeChildComponent(button.get());
}

TEST(SvDocumentWindowButton, AlphaIsReplacedNotMultiplied)
{
    juce::Path cross;
    cross.addLineSegment({ 0.0f, 0.0f, 1.0f, 1.0f }, 0.15f);
    cross.addLineSegment({ 1.0f, 0.0f, 0.0f, 1.0f }, 0.15f);
    const auto faint = juce::Colour(0x33FFFFFF);

    juce::SvDocumentWindowButton button("minimise", faint, cross, cross, true);
    button.setSize(36, 30);
    expect_look(button, Palette::background, pixels::over(Palette::background, juce::Colours::white, 0.2f), "idle");
    button.setEnabled(false);
    expect_look(button, Palette::background, pixels::over(Palette::background, juce::Colours::white, 0.6f), "disabled");
}

TEST(SvDocumentWindowButton, CloseHoverGoesByNameIgnoringCase)
{
    juce::Path bar;
    bar.addLineSegment({ 0.0f, 0.5f, 1.0f, 0.5f }, 0.15f);

    for (const auto& [name, red] : { std::pair<const char*, bool> { "Close", true }, { "CLOSE", true },
                                     { "closed", false }, { "minimise", false } })
    {
        juce::SvDocumentWindowButton button(name, Palette::foreground, bar, bar, true);
        button.setSize(36, 30);
        button.setState(juce::Button::buttonOver);
        EXPECT_EQ(snapshot(button).getPixelAt(1, 1), red ? Palette::error : Palette::foreground) << name;
    }
}

TEST(SvDocumentWindowButton, ShapeFitsTheCentredSquare)
{
    juce::SvLookAndFeel laf(true);
    for (const int kind : { 1, 2, 4 })
    {
        auto button = make(laf, kind);
        const auto image = snapshot(*button);
        const auto shape = pixels::bounds_where(image, [](juce::Colour c) {
            return pixels::distance(c, Palette::background) > 40;
        });
        SCOPED_TRACE(button->getName());
        EXPECT_TRUE(shapeBox.expanded(1).contains(shape)) << shape.toString();
        EXPECT_GE(shape.getWidth(), 11);
        EXPECT_NEAR(shape.getCentreX(), 18, 1);
        if (kind != juce::DocumentWindow::minimiseButton)
        {
            EXPECT_GE(shape.getHeight(), 11);
        }
    }
}

TEST(SvDocumentWindowButton, MaximiseShowsTheFrameOnlyWhenToggled)
{
    juce::SvLookAndFeel laf(true);
    auto button = make(laf, juce::DocumentWindow::maximiseButton);
    const auto plus = snapshot(*button);
    button->setToggleState(true, juce::dontSendNotification);
    const auto frame = snapshot(*button);

    // The plus has its middle pixel lit and its corner dark; the frame's top-left corner is lit.
    const auto lit = [](juce::Colour c) { return pixels::distance(c, Palette::background) > 100; };
    EXPECT_TRUE(lit(plus.getPixelAt(18, 15)) || lit(plus.getPixelAt(17, 14)));
    EXPECT_FALSE(lit(plus.getPixelAt(12, 9)));
    EXPECT_TRUE(lit(frame.getPixelAt(12, 9)) || lit(frame.getPixelAt(13, 10)));

    // The close and minimise buttons look the same either way.
    auto close = make(laf, juce::DocumentWindow::closeButton);
    const auto before = snapshot(*close);
    close->setToggleState(true, juce::dontSendNotification);
    const auto after = snapshot(*close);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 36; ++x)
            ASSERT_EQ(before.getPixelAt(x, y), after.getPixelAt(x, y));
}

// Chosen for the light bar, which the launcher itself never uses: shapes in the dark colour.
TEST(SvDocumentWindowButton, LightTitleBarShowsDarkShapes)
{
    juce::SvLookAndFeel laf(false);
    auto button = make(laf, juce::DocumentWindow::closeButton);
    expect_look(*button, Palette::foreground, Palette::background, "idle");
    button->setState(juce::Button::buttonOver);
    expect_look(*button, Palette::error, Palette::foreground, "hover");
}
