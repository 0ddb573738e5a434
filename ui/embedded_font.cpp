#include "ui/embedded_font.h"

#include "solvanter_resources.h"

const juce::Font& embedded_font()
{
    static const juce::Font font(juce::Typeface::createSystemTypefaceFor(solvanter_resources::OpenSansRegular_ttf,
                                                                         (size_t) solvanter_resources::OpenSansRegular_ttfSize));
    return font;
}
