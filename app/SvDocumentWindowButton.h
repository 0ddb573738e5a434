#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace juce
{
// A title-bar button: a vector shape on the title bar's background that inverts while the mouse
// is over it (the close button turns red-orange instead). Message thread only.
class SvDocumentWindowButton : public Button
{
public:
    SvDocumentWindowButton(const String& name, Colour colour, Path normalShape, Path toggledShape,
                           bool darkTitleBar);

    void paintButton(Graphics& g, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

private:
    const Colour colour;
    const Path normalShape;
    const Path toggledShape;
    const bool darkTitleBar;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(SvDocumentWindowButton)
};
} // namespace juce
