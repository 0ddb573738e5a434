#pragma once

#include <functional>

#include <juce_graphics/juce_graphics.h>

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

// Pixels within `tolerance` of `colour`.
inline std::function<bool(juce::Colour)> near(juce::Colour colour, int tolerance)
{
    return [=](juce::Colour c) { return distance(c, colour) <= tolerance; };
}

// Pixels farther than `by` from `colour`.
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
