#include "app/embedded_font.h"

#include "solvanter_resources.h"

static juce::Font make_embedded_font()
{
    auto typeface = juce::Typeface::createSystemTypefaceFor(solvanter_resources::OpenSansRegular_ttf,
                                                            (size_t) solvanter_resources::OpenSansRegular_ttfSize);
    return juce::Font(typeface);
}

const juce::Font embedded_font = make_embedded_font();
