#pragma once

#include <functional>

#include <juce_graphics/juce_graphics.h>

// What the window must look like, written down once and independently of the product's own
// constants, so that a wrong constant there fails here.
namespace expected
{
// Colours (ARGB).
inline const juce::Colour background { 0xFF1B1C1E };
inline const juce::Colour foreground { 0xFFE9EAEF };  // light text, title-bar buttons
inline const juce::Colour accent { 0xFF00D397 };      // spinner, progress, the icon's ring
inline const juce::Colour error { 0xFFFF7548 };       // error state, close-button hover
inline const juce::Colour warning { 0xFFFFC74D };     // waiting state
inline const juce::Colour info { 0xFFFFFFFF };        // ordinary state
inline const juce::Colour link { 0xFF1DBFFF };        // support link

// Sizes, in the window's coordinates: a 1-pixel border, a 30-pixel title bar, a 512 x 108 content.
inline const juce::Rectangle<int> window { 0, 0, 514, 140 };
inline const juce::Point<int> contentOrigin { 1, 31 };
inline const juce::Rectangle<int> icon = juce::Rectangle<int>(12, 12, 84, 84) + contentOrigin;
inline const juce::Rectangle<int> stateArea = juce::Rectangle<int>(108, 12, 388, 78) + contentOrigin;
inline const juce::Rectangle<int> linkBox = juce::Rectangle<int>(170, 86, 170, 18) + contentOrigin;
inline const juce::Rectangle<int> minimiseButton { 441, 1, 36, 30 };
inline const juce::Rectangle<int> closeButton { 477, 1, 36, 30 };
inline constexpr float titleHeight = 16.2f;  // 0.54 of the bar

// Texts.
inline const juce::String appName = "Solvanter Launcher";
inline const juce::String typeface = "Open Sans";  // the compiled-in font
} // namespace expected

// Reading back what was painted.
namespace pixels
{
// An opaque image filled with `fill`, then painted by `paint`.
inline juce::Image render(int width, int height, juce::Colour fill, const std::function<void(juce::Graphics&)>& paint)
{
    juce::Image image(juce::Image::RGB, width, height, false);
    juce::Graphics g(image);
    g.fillAll(fill);
    paint(g);
    return image;
}

// The largest difference of one colour channel.
inline int distance(juce::Colour a, juce::Colour b)
{
    return juce::jmax(std::abs(a.getRed() - b.getRed()), std::abs(a.getGreen() - b.getGreen()),
                      std::abs(a.getBlue() - b.getBlue()));
}

// Pixels within `tolerance` of `colour`, and pixels farther than `by` from it.
inline std::function<bool(juce::Colour)> near(juce::Colour colour, int tolerance)
{
    return [=](juce::Colour c) { return distance(c, colour) <= tolerance; };
}
inline std::function<bool(juce::Colour)> off(juce::Colour colour, int by)
{
    return [=](juce::Colour c) { return distance(c, colour) > by; };
}

// `top` at `alpha` over an opaque `under`.
inline juce::Colour over(juce::Colour under, juce::Colour top, float alpha)
{
    return under.interpolatedWith(top.withAlpha(1.0f), alpha);
}

// The smallest rectangle within `area` (the whole image when empty) holding every pixel that passes.
inline juce::Rectangle<int> bounds_where(const juce::Image& image, const std::function<bool(juce::Colour)>& test,
                                         juce::Rectangle<int> area = {})
{
    if (area.isEmpty())
        area = image.getBounds();

    juce::Rectangle<int> found;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (test(image.getPixelAt(x, y)))
                found = found.isEmpty() ? juce::Rectangle<int>(x, y, 1, 1) : found.getUnion({ x, y, 1, 1 });
    return found;
}
} // namespace pixels
