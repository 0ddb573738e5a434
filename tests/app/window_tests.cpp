#include <gtest/gtest.h>

#include <memory>

#include "app/MainWindow.h"
#include "app/command_line.h"
#include "ui/palette.h"
#include "launcher_process.h"
#include "pixels.h"

namespace
{
std::unique_ptr<MainWindow> make_window(const juce::String& commandLine)
{
    ignore_x_errors();
    return std::make_unique<MainWindow>("Solvanter Launcher", parse_command_line(commandLine));
}

// Pixels clearly off the background by more than `by`.
std::function<bool(juce::Colour)> off_background(int by)
{
    return [by](juce::Colour c) { return pixels::distance(c, Palette::background) > by; };
}
} // namespace

TEST(MainWindow, FixedLayoutCentredOnTheDisplay)
{
    auto window = make_window("--headless");
    const auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay();
    ASSERT_NE(display, nullptr) << "needs an X display: run under xvfb-run";

    EXPECT_EQ(window->getBounds(), display->userArea.withSizeKeepingCentre(514, 140));
    EXPECT_FALSE(window->isResizable());
    EXPECT_EQ(window->content->getBounds(), juce::Rectangle<int>(1, 31, 512, 108));
    EXPECT_EQ(window->content->launcher.getBounds(), juce::Rectangle<int>(108, 12, 388, 78));
    EXPECT_EQ(window->content->supportLink.getBounds(), juce::Rectangle<int>(170, 86, 170, 18));
    ASSERT_NE(window->getCloseButton(), nullptr);
    ASSERT_NE(window->getMinimiseButton(), nullptr);
    EXPECT_EQ(window->getMaximiseButton(), nullptr);
    EXPECT_EQ(window->getCloseButton()->getBounds(), juce::Rectangle<int>(477, 1, 36, 30));
    EXPECT_EQ(window->getMinimiseButton()->getBounds(), juce::Rectangle<int>(441, 1, 36, 30));

    // The look and feel is the desktop's default only while the window lives.
    EXPECT_EQ(&juce::Desktop::getInstance().getDefaultLookAndFeel(), window->lookAndFeel.get());
    window.reset();
    EXPECT_EQ(dynamic_cast<juce::SvLookAndFeel*>(&juce::Desktop::getInstance().getDefaultLookAndFeel()), nullptr);
}

// Options match as the argument itself or followed by "="; "--write-config-and-quit" is not
// "--write-config".
TEST(MainWindow, OptionsReachTheEngine)
{
    struct Case
    {
        const char* commandLine;
        bool headless, skipUpdate, skipAppUpdate, writeConfig;
    };
    const Case cases[] = {
        { "", false, false, false, false },
        { "--headless=1 --skip-update", true, true, false, false },
        { "--skip-app-update --write-config-and-quit", false, false, true, false },
        { "--write-config=yes --headless", true, false, false, true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.commandLine);
        const auto window = make_window(c.commandLine);
        const auto& content = *window->content;
        EXPECT_EQ(content.headless, c.headless);
        EXPECT_EQ(content.getWantsKeyboardFocus(), ! c.headless);
        EXPECT_EQ(content.launcher.skipUpdate, c.skipUpdate);
        EXPECT_EQ(content.launcher.skipAppUpdate, c.skipAppUpdate);
        EXPECT_EQ(content.launcher.writeConfig, c.writeConfig);
        EXPECT_FALSE(window->isVisible());
    }
}

TEST(MainWindow, PaintsTitleIconAndLink)
{
    const auto window = make_window("");
    const auto image = window->createComponentSnapshot(window->getLocalBounds());

    // The dark title bar, its title from x 11 (border 1, title space 6, then 4).
    EXPECT_EQ(image.getPixelAt(3, 3), Palette::background);
    EXPECT_NEAR(pixels::bounds_where(image, off_background(60), { 0, 1, 300, 30 }).getX(), 11, 1);

    // The icon is stretched over (12, 12, 84, 84) of the content, on the window's background.
    const auto expected = pixels::render(514, 140, Palette::background, [&](juce::Graphics& g) {
        g.drawImage(window->content->icon, { 13.0f, 43.0f, 84.0f, 84.0f }, juce::RectanglePlacement::stretchToFit);
    });
    const auto icon = pixels::bounds_where(image, off_background(30), { 1, 31, 106, 108 });
    EXPECT_GT(icon.getWidth(), 40);
    EXPECT_EQ(icon, pixels::bounds_where(expected, off_background(30)));

    // Link blue only in the link's box.
    const auto link = pixels::bounds_where(image, pixels::near(Palette::link, 40));
    EXPECT_GT(link.getWidth(), 20);
    EXPECT_TRUE(juce::Rectangle<int>(171, 117, 170, 18).contains(link)) << link.toString();
}
