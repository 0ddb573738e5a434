#include "app/SvDocumentWindowButton.h"

#include "ui/palette.h"

namespace juce
{
SvDocumentWindowButton::SvDocumentWindowButton(const String& name, Colour colour_, Path normalShape_,
                                               Path toggledShape_, bool darkTitleBar_)
    : Button(name),
      colour(colour_),
      normalShape(std::move(normalShape_)),
      toggledShape(std::move(toggledShape_)),
      darkTitleBar(darkTitleBar_)
{
}

void SvDocumentWindowButton::paintButton(Graphics& g, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown)
{
    auto background = darkTitleBar ? Palette::background : Palette::foreground;
    g.fillAll(background);

    g.setColour((! isEnabled() || shouldDrawButtonAsDown) ? colour.withAlpha(0.6f) : colour);

    if (shouldDrawButtonAsHighlighted)
    {
        if (getName().equalsIgnoreCase("close"))
            g.fillAll(Palette::error);
        else
            g.fillAll();

        g.setColour(background);
    }

    const auto& shape = getToggleState() ? toggledShape : normalShape;

    const auto w = getWidth();
    const auto h = getHeight();
    const auto reduction = (float) h * 0.3f;
    const auto box = Rectangle<float>((float) ((w - h) / 2), 0.0f, (float) h, (float) h).reduced(reduction);

    g.fillPath(shape, shape.getTransformToScaleToFit(box, true, Justification::centred));
}
} // namespace juce
