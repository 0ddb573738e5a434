#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace juce
{
// The launcher's look and feel: the palette's colours, the embedded font as the default sans-serif
// typeface, native alert windows, and its own title bar, title-bar buttons and tooltips.
// Used and painted on the message thread.
class SvLookAndFeel : public LookAndFeel_V4
{
public:
    explicit SvLookAndFeel(bool darkTitleBar);
    ~SvLookAndFeel() override;

    void drawDocumentWindowTitleBar(DocumentWindow& window, Graphics& g, int w, int h,
                                    int titleSpaceX, int titleSpaceW, const Image* icon,
                                    bool drawTitleTextOnLeft) override;
    // A new SvDocumentWindowButton for the close, minimise and maximise kinds; null otherwise.
    Button* createDocumentWindowButton(int buttonType) override;

    void drawTooltip(Graphics& g, const String& text, int width, int height) override;

    const bool darkTitleBar;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(SvLookAndFeel)
};
} // namespace juce
