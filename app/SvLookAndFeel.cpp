#include "app/SvLookAndFeel.h"

#include "app/SvDocumentWindowButton.h"
#include "ui/embedded_font.h"
#include "ui/palette.h"

namespace juce
{
namespace
{
TextLayout layout_tooltip_text(const String& text, Colour colour)
{
    AttributedString attributed;
    attributed.setJustification(Justification::centred);

    auto font = embedded_font();
    font.setHeight(13.0f);
    attributed.append(text, font, colour);

    TextLayout layout;
    layout.createLayoutWithBalancedLineLengths(attributed, 400.0f);
    return layout;
}
} // namespace

SvLookAndFeel::SvLookAndFeel(bool darkTitleBar_)
    : darkTitleBar(darkTitleBar_)
{
    setColour(AlertWindow::backgroundColourId, Palette::surface);
    setColour(CaretComponent::caretColourId, Palette::accent);
    setColour(ComboBox::arrowColourId, Palette::accent);
    setColour(ComboBox::backgroundColourId, Palette::surface);
    setColour(ComboBox::focusedOutlineColourId, Palette::midGrey);
    setColour(ComboBox::outlineColourId, Palette::lightGrey);
    setColour(HyperlinkButton::textColourId, Palette::midGrey);
    setColour(PopupMenu::backgroundColourId, Palette::surface);
    setColour(PopupMenu::highlightedBackgroundColourId, Palette::accent);
    setColour(ProgressBar::backgroundColourId, Palette::midGrey);
    setColour(ProgressBar::foregroundColourId, Palette::accent);
    setColour(TextButton::buttonColourId, Palette::midGrey);
    setColour(TextButton::buttonOnColourId, Palette::surface);
    setColour(TextButton::textColourOffId, Palette::foreground);
    setColour(TextButton::textColourOnId, Palette::foreground);
    setColour(TextEditor::backgroundColourId, Palette::surface);
    setColour(TextEditor::highlightColourId, Palette::error);
    setColour(TooltipWindow::backgroundColourId, Palette::background);
    setColour(TooltipWindow::textColourId, Palette::accent);

    setDefaultSansSerifTypeface(embedded_font().getTypefacePtr());
    setUsingNativeAlertWindows(true);
}

SvLookAndFeel::~SvLookAndFeel() = default;

void SvLookAndFeel::drawDocumentWindowTitleBar(DocumentWindow& window, Graphics& g, int w, int h,
                                               int titleSpaceX, int titleSpaceW, const Image* icon,
                                               bool drawTitleTextOnLeft)
{
    if (w * h == 0)
        return;

    const bool isActive = window.isActiveWindow();
    const auto barColour = darkTitleBar ? Palette::background : Palette::foreground;
    const auto textColour = darkTitleBar ? Palette::foreground : Palette::background;

    g.setColour(barColour);
    g.fillAll();

    auto font = embedded_font();
    font.setHeight((float) h * 0.54f);
    g.setFont(font);

    auto textW = font.getStringWidth(window.getName());
    auto iconW = 0;
    auto iconH = 0;

    // An icon without height has no width either; draw none rather than divide by zero.
    if (icon != nullptr && icon->getHeight() > 0)
    {
        iconH = roundToIntAccurate(font.getHeight());
        iconW = icon->getWidth() / icon->getHeight() * iconH + 4;
    }

    textW = jmin(titleSpaceW, textW + iconW);
    auto textX = drawTitleTextOnLeft ? titleSpaceX : jmax(titleSpaceX, (w - textW) / 2);

    if (textX + textW > titleSpaceX + titleSpaceW)
        textX = titleSpaceX + titleSpaceW - textW;

    if (iconW > 0)
    {
        g.setOpacity(isActive ? 1.0f : 0.6f);
        g.drawImageWithin(*icon, textX, (h - iconH) / 2, iconW, iconH, RectanglePlacement::centred, false);
        textX += iconW;
        textW -= iconW;
    }

    g.setColour(textColour);
    g.drawText(window.getName(), textX + 4, 0, textW, h, Justification::centredLeft, true);
}

Button* SvLookAndFeel::createDocumentWindowButton(int buttonType)
{
    Path shape;
    const auto thickness = 0.15f;
    // The light bar's buttons fill with the foreground colour, so their shapes take the dark one.
    const auto colour = darkTitleBar ? Palette::foreground : Palette::background;

    if (buttonType == DocumentWindow::closeButton)
    {
        shape.addLineSegment({ 0.0f, 0.0f, 1.0f, 1.0f }, thickness);
        shape.addLineSegment({ 1.0f, 0.0f, 0.0f, 1.0f }, thickness);
        return new SvDocumentWindowButton("close", colour, shape, shape, darkTitleBar);
    }

    if (buttonType == DocumentWindow::minimiseButton)
    {
        shape.addLineSegment({ 0.0f, 0.5f, 1.0f, 0.5f }, thickness);
        return new SvDocumentWindowButton("minimise", colour, shape, shape, darkTitleBar);
    }

    if (buttonType == DocumentWindow::maximiseButton)
    {
        shape.addLineSegment({ 0.5f, 0.0f, 0.5f, 1.0f }, thickness);
        shape.addLineSegment({ 0.0f, 0.5f, 1.0f, 0.5f }, thickness);

        Path fullScreenShape;
        fullScreenShape.startNewSubPath(45.0f, 100.0f);
        fullScreenShape.lineTo(0.0f, 100.0f);
        fullScreenShape.lineTo(0.0f, 0.0f);
        fullScreenShape.lineTo(100.0f, 0.0f);
        fullScreenShape.lineTo(100.0f, 45.0f);
        fullScreenShape.addRectangle(45.0f, 45.0f, 100.0f, 100.0f);
        PathStrokeType(30.0f).createStrokedPath(fullScreenShape, fullScreenShape);

        return new SvDocumentWindowButton("maximise", colour, shape, fullScreenShape, darkTitleBar);
    }

    return nullptr;
}

void SvLookAndFeel::drawTooltip(Graphics& g, const String& text, int width, int height)
{
    const auto bounds = Rectangle<int>(width, height).toFloat();

    g.setColour(findColour(TooltipWindow::backgroundColourId));
    g.fillRoundedRectangle(bounds, 5.0f);

    layout_tooltip_text(text, findColour(TooltipWindow::textColourId)).draw(g, bounds);
}
} // namespace juce
