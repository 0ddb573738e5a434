#pragma once

#include <functional>

#include <juce_graphics/juce_graphics.h>

// Reading back what was painted.
namespace pixels
{
// An opaque image of the size, filled with `fill`, then painted by `paint`.
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

// `top` at `alpha` over an opaque `under`.
inline juce::Colour over(juce::Colour under, juce::Colour top, float alpha)
{
    return under.interpolatedWith(top.withAlpha(1.0f), alpha);
}

// The smallest rectangle holding every pixel for which `test` holds (empty when none does).
inline juce::Rectangle<int> bounds_where(const juce::Image& image, const std::function<bool(juce::Colour)>& test,
                                         juce::Rectangle<int> area = {})
{
    if (area.isEmpty())
        area = image.getBounds();

    int left = area.getRight(), top = area.getBottom(), right = area.getX() - 1, bottom = area.getY() - 1;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (test(image.getPixelAt(x, y)))
            {
                left = juce::jmin(left, x);
                right = juce::jmax(right, x);
                top = juce::jmin(top, y);
                bottom = juce::jmax(bottom, y);
            }

    if (right < left)
        return {};
    return juce::Rectangle<int>::leftTopRightBottom(left, top, right + 1, bottom + 1);
}

// The pixel in `area` nearest to `colour`, as its distance.
inline int nearest(const juce::Image& image, juce::Colour colour, juce::Rectangle<int> area)
{
    int best = 256;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            best = juce::jmin(best, distance(image.getPixelAt(x, y), colour));
    return best;
}

// How many pixels in `area` lie within `tolerance` of `colour`.
inline int count_near(const juce::Image& image, juce::Colour colour, juce::Rectangle<int> area, int tolerance)
{
    int count = 0;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (distance(image.getPixelAt(x, y), colour) <= tolerance)
                ++count;
    return count;
}
} // namespace pixels
