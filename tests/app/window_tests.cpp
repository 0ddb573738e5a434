#include <gtest/gtest.h>

#include <memory>

#include <X11/Xlib.h>

#include "app/MainWindow.h"
#include "app/SolvanterLauncher.h"
#include "app/command_line.h"
#include "support/look.h"
#include "support/waiting.h"

namespace
{
std::unique_ptr<MainWindow> make_window(const juce::String& commandLine)
{
    // X protocol errors are harmless here, as in a JUCE application (a test program is not one,
    // and Xlib's default handler ends the process).
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    return std::make_unique<MainWindow>(expected::appName, parse_command_line(commandLine));
}

// The application object, counting the quit requests that reach it.
struct QuitCounter : SolvanterLauncher
{
    void systemRequestedQuit() override { ++quits; }
    int quits = 0;
};
} // namespace

TEST(MainWindow, FixedSizeCentredWithMinimiseAndCloseOnlyAndTheEmbeddedTypeface)
{
    auto window = make_window("--headless");
    const auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay();
    ASSERT_NE(display, nullptr) << "needs an X display: run under xvfb-run";

    EXPECT_EQ(window->getBounds(), display->userArea.withSizeKeepingCentre(expected::window.getWidth(),
                                                                           expected::window.getHeight()));
    EXPECT_FALSE(window->isResizable());
    EXPECT_EQ(window->getMaximiseButton(), nullptr);
    ASSERT_NE(window->getCloseButton(), nullptr);
    ASSERT_NE(window->getMinimiseButton(), nullptr);
    EXPECT_EQ(window->getCloseButton()->getBounds(), expected::closeButton);
    EXPECT_EQ(window->getMinimiseButton()->getBounds(), expected::minimiseButton);

    // Which part takes the mouse, up to each edge: the link lies above the engine's area where the
    // two overlap.
    auto& content = *window->content;
    const std::pair<juce::Component*, juce::Rectangle<int>> parts[] { { &content.launcher, expected::stateArea },
                                                                      { &content.supportLink, expected::linkBox } };
    for (const auto& [part, area] : parts)
    {
        const auto at = [&, part = part](int x, int y) {
            auto* hit = content.getComponentAt(juce::Point<int>(x, y) - expected::contentOrigin);
            return hit == part || part->isParentOf(hit);
        };
        EXPECT_TRUE(at(area.getX(), area.getY()) && at(area.getRight() - 1, area.getBottom() - 1)) << area.toString();
        EXPECT_FALSE(at(area.getX() - 1, area.getY()) || at(area.getX(), area.getY() - 1)
                     || at(area.getRight(), area.getBottom() - 1) || at(area.getRight() - 1, area.getBottom()))
            << area.toString();
    }

    // The look and feel is the desktop's default only while the window lives; meanwhile a font that
    // asks for the default sans-serif face (as the framework's widgets do) gets the compiled-in
    // typeface, not one of the system's.
    EXPECT_EQ(&juce::Desktop::getInstance().getDefaultLookAndFeel(), window->lookAndFeel.get());
    const auto embedded = window->lookAndFeel->getTypefaceForFont(juce::Font());
    EXPECT_EQ(embedded->getName(), expected::typeface);
    EXPECT_EQ(juce::Font(14.0f).getTypefacePtr(), embedded);
    window.reset();
    EXPECT_EQ(dynamic_cast<juce::SvLookAndFeel*>(&juce::Desktop::getInstance().getDefaultLookAndFeel()), nullptr);
}

// An option also matches followed by "=", but "--write-config-and-quit" is not "--write-config".
// A headless window takes no keys.
TEST(MainWindow, WriteConfigAndQuitIsNotWriteConfig)
{
    const std::tuple<const char*, bool, bool> cases[] = {
        { "--write-config=yes --headless", true, false },
        { "--write-config-and-quit", false, true },
    };
    for (const auto& [commandLine, writeConfig, takesKeys] : cases)
    {
        const auto window = make_window(commandLine);
        EXPECT_EQ(window->content->launcher.writeConfig, writeConfig) << commandLine;
        EXPECT_EQ(window->content->getWantsKeyboardFocus(), takesKeys) << commandLine;
        EXPECT_FALSE(window->isVisible());
    }
}

TEST(MainWindow, PaintsTitleIconStateAndLink)
{
    const auto window = make_window("");
    window->content->launcher.update_state("Checking for updates", false, false, utils::Level::info);
    const juce::Rectangle<int> rightOfIcon { expected::icon.getRight(), 0, 417, 140 };
    juce::Image image;
    wait_until([&] {
        image = window->createComponentSnapshot(window->getLocalBounds());
        return ! pixels::bounds_where(image, pixels::near(expected::info, 8), rightOfIcon).isEmpty();  // the posted state text
    });

    // The dark title bar, its title from x 11 (border 1, title space 6, then 4).
    EXPECT_EQ(image.getPixelAt(3, 3), expected::background);
    const auto title = pixels::bounds_where(image, pixels::off(expected::background, 60), { 0, 1, 300, 30 });
    EXPECT_NEAR(title.getX(), 11, 1);
    EXPECT_FALSE(pixels::bounds_where(image, pixels::near(expected::foreground, 4), title).isEmpty());

    // The icon's green ring where the picture's own ring lands when stretched over the icon's box.
    const auto png = juce::ImageFileFormat::loadFrom(juce::File(SOLVANTER_SOURCE_DIR "/resources/icon.png"));
    const auto scaled = pixels::bounds_where(png, pixels::near(expected::accent, 40)).toFloat()
                            * ((float) expected::icon.getWidth() / (float) png.getWidth())
                        + expected::icon.getPosition().toFloat();
    const auto ring = pixels::bounds_where(image, pixels::near(expected::accent, 40)).toFloat();
    EXPECT_LE(ring.getPosition().getDistanceFrom(scaled.getPosition()), 1.5f) << ring.toString();
    EXPECT_LE(ring.getBottomRight().getDistanceFrom(scaled.getBottomRight()), 1.5f) << ring.toString();

    // The state text in white in the engine's area.
    const auto state = pixels::bounds_where(image, pixels::near(expected::info, 8), rightOfIcon);
    EXPECT_GT(state.getWidth(), 60);
    EXPECT_TRUE(expected::stateArea.contains(state)) << state.toString();

    // Link blue only in the link's box.
    const auto link = pixels::bounds_where(image, pixels::near(expected::link, 40));
    EXPECT_GT(link.getWidth(), 20);
    EXPECT_TRUE(expected::linkBox.contains(link)) << link.toString();
}

// I opens the About box only once the worker has ended, and only without modifiers; Escape and
// the close button ask the application object to quit at any time.
TEST(MainWindow, KeysAboutOnlyOnceTheWorkerHasEndedAndEscapeQuits)
{
    QuitCounter app;
    // The worker waits for a backend that never answers.
    const auto config = juce::File::getSpecialLocation(juce::File::currentExecutableFile).getSiblingFile("config.xml");
    ASSERT_TRUE(config.replaceWithText(R"(<PROPERTIES><VALUE name="app_api" val="http://127.0.0.1:1"/></PROPERTIES>)"));
    const auto window = make_window("");
    config.deleteFile();
    window->setVisible(true);
    window->toFront(true);
    auto& content = *window->content;
    wait_until([&] { content.grabKeyboardFocus(); return content.hasKeyboardFocus(false); });
    ASSERT_TRUE(content.hasKeyboardFocus(false));
    const auto press = [&](const juce::KeyPress& key) { return window->getPeer()->handleKeyPress(key); };
    const auto about = [] { return dynamic_cast<juce::AlertWindow*>(juce::Component::getCurrentlyModalComponent()); };

    content.launcher.startThread();
    EXPECT_TRUE(press(juce::KeyPress('i')));
    EXPECT_EQ(about(), nullptr);
    EXPECT_TRUE(press(juce::KeyPress(juce::KeyPress::escapeKey)));
    EXPECT_EQ(app.quits, 1);
    window->getCloseButton()->triggerClick();
    wait_until([&] { return app.quits == 2; });
    EXPECT_EQ(app.quits, 2);

    content.launcher.stopThread(4000);
    EXPECT_FALSE(press(juce::KeyPress('i', juce::ModifierKeys::shiftModifier, 0)));
    EXPECT_FALSE(press(juce::KeyPress('i', juce::ModifierKeys::ctrlModifier, 0)));
    EXPECT_EQ(about(), nullptr);
    EXPECT_TRUE(press(juce::KeyPress('i')));
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(about()->getName(), "About");
    EXPECT_EQ(about()->getNumButtons(), 1);
    const auto* ok = dynamic_cast<juce::TextButton*>(about()->getChildren().getLast());
    EXPECT_TRUE(ok != nullptr && ok->getButtonText() == "OK");
    delete about();
}
