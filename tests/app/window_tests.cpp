#include <gtest/gtest.h>

#include <memory>

#include <X11/keysym.h>

#include "app/MainWindow.h"
#include "app/SvDocumentWindowButton.h"
#include "app/command_line.h"
#include "app/palette.h"
#include "app_test_support.h"
#include "pixels.h"
#include "services/build_info.h"
#include "services/system_info.h"
#include "x11_probe.h"

namespace
{
class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(x11_probe::display_name().isEmpty()) << "needs an X display: run under xvfb-run";
        x11_probe::ignore_x_errors();
        // Whatever config.xml lies beside the test program must not matter here.
        juce::File::getSpecialLocation(juce::File::currentExecutableFile).getSiblingFile("config.xml").deleteFile();
    }

    void TearDown() override
    {
        juce::ModalComponentManager::getInstance()->cancelAllModalComponents();
        pump_until([] { return juce::ModalComponentManager::getInstance()->getNumModalComponents() == 0; }, 2000);
    }

    static std::unique_ptr<MainWindow> make_window(const juce::String& commandLine)
    {
        return std::make_unique<MainWindow>("Solvanter Launcher", parse_command_line(commandLine));
    }

    static unsigned long x_window_of(juce::Component& window)
    {
        auto* peer = window.getPeer();
        return peer != nullptr ? (unsigned long) (juce::pointer_sized_uint) peer->getNativeHandle() : 0;
    }

    static juce::AlertWindow* shown_alert()
    {
        auto& modal = *juce::ModalComponentManager::getInstance();
        for (int i = 0; i < modal.getNumModalComponents(); ++i)
            if (auto* alert = dynamic_cast<juce::AlertWindow*>(modal.getModalComponent(i)))
                return alert;
        return nullptr;
    }

    // Presses a key where the window's peer receives it, as the X event handler would.
    static void press(MainWindow& window, const juce::KeyPress& key)
    {
        ASSERT_NE(window.getPeer(), nullptr);
        window.getPeer()->handleKeyPress(key);
        juce::MessageManager::getInstance()->runDispatchLoopUntil(50);
    }

    static void show_and_focus(MainWindow& window)
    {
        window.setVisible(true);
        window.toFront(true);
        ASSERT_TRUE(pump_until([&] { return window.content->hasKeyboardFocus(true) || window.hasKeyboardFocus(true); }, 5000));
    }
};
} // namespace

TEST_F(WindowTest, FixedSizeLayoutAndTitleBar)
{
    auto window = make_window("--headless");

    EXPECT_EQ(window->getName(), "Solvanter Launcher");
    EXPECT_EQ(window->getWidth(), 514);
    EXPECT_EQ(window->getHeight(), 140);
    EXPECT_EQ(window->getContentComponent(), window->content.get());
    EXPECT_EQ(window->content->getBounds(), juce::Rectangle<int>(1, 31, 512, 108));
    EXPECT_EQ(window->getTitleBarHeight(), 30);
    EXPECT_FALSE(window->isUsingNativeTitleBar());
    EXPECT_FALSE(window->isResizable());
    EXPECT_EQ(window->getBackgroundColour(), Palette::background);

    // Minimise and close, placed by LookAndFeel_V4: 36 x 30 each from the right.
    ASSERT_NE(window->getCloseButton(), nullptr);
    ASSERT_NE(window->getMinimiseButton(), nullptr);
    EXPECT_EQ(window->getMaximiseButton(), nullptr);
    EXPECT_EQ(window->getCloseButton()->getBounds(), juce::Rectangle<int>(477, 1, 36, 30));
    EXPECT_EQ(window->getMinimiseButton()->getBounds(), juce::Rectangle<int>(441, 1, 36, 30));
    EXPECT_NE(dynamic_cast<juce::SvDocumentWindowButton*>(window->getCloseButton()), nullptr);

    // Centred on the main display.
    const auto area = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;
    EXPECT_EQ(window->getX(), area.getCentreX() - 514 / 2);
    EXPECT_EQ(window->getY(), area.getCentreY() - 140 / 2);

    auto& content = *window->content;
    EXPECT_EQ(content.launcher.getBounds(), juce::Rectangle<int>(108, 12, 388, 78));
    EXPECT_EQ(content.supportLink.getBounds(), juce::Rectangle<int>(170, 86, 170, 18));
    EXPECT_EQ(content.supportLink.getButtonText(), build_info::support_host());
    EXPECT_EQ(content.supportLink.getURL().toString(false), build_info::support_page());
    EXPECT_EQ(content.supportLink.findColour(juce::HyperlinkButton::textColourId), Palette::link);
    EXPECT_EQ(content.getIndexOfChildComponent(&content.supportLink), 1);  // above the launcher
    EXPECT_EQ(content.icon.getWidth(), 256);
    EXPECT_EQ(content.icon.getHeight(), 256);

    // The look and feel is the desktop's default while the window lives, and only then.
    EXPECT_EQ(&juce::Desktop::getInstance().getDefaultLookAndFeel(), window->lookAndFeel.get());
    window.reset();
    EXPECT_EQ(dynamic_cast<juce::SvLookAndFeel*>(&juce::Desktop::getInstance().getDefaultLookAndFeel()), nullptr);
}

TEST_F(WindowTest, OptionsReachTheEngine)
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
        { "--write-config=yes --skip-app-update --skip-update --headless", true, true, true, true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.commandLine);
        auto window = make_window(c.commandLine);
        const auto& content = *window->content;
        EXPECT_EQ(content.headless, c.headless);
        EXPECT_EQ(content.getWantsKeyboardFocus(), ! c.headless);
        EXPECT_EQ(content.launcher.skipUpdate, c.skipUpdate);
        EXPECT_EQ(content.launcher.skipAppUpdate, c.skipAppUpdate);
        EXPECT_EQ(content.launcher.writeConfig, c.writeConfig);
        EXPECT_EQ((bool) content.launcher.onSequenceFailed, c.headless);
        EXPECT_FALSE(window->isVisible());
    }
}

TEST_F(WindowTest, HiddenWindowIsNeverMappedAndAShownOneIs)
{
    auto window = make_window("--headless");
    const auto id = x_window_of(*window);
    ASSERT_NE(id, 0u);
    juce::MessageManager::getInstance()->runDispatchLoopUntil(300);
    EXPECT_FALSE(x11_probe::is_viewable(id));

    window->setVisible(true);
    EXPECT_TRUE(pump_until([&] { return x11_probe::is_viewable(id); }, 5000));
}

TEST_F(WindowTest, PaintsTitleBarIconAndLink)
{
    auto window = make_window("");
    const auto image = window->createComponentSnapshot(window->getLocalBounds());

    EXPECT_EQ(image.getPixelAt(3, 3), Palette::background);  // title bar
    EXPECT_EQ(image.getPixelAt(250, 20), Palette::background);
    EXPECT_EQ(image.getPixelAt(5, 60), Palette::background);  // window background left of the icon

    // The title in the light colour from x 11 (border 1 + title space 6 + 4).
    const auto title = pixels::bounds_where(image, [](juce::Colour c) { return pixels::distance(c, Palette::background) > 60; },
                                            { 0, 1, 300, 30 });
    EXPECT_NEAR(title.getX(), 11, 1);
    EXPECT_LE(pixels::nearest(image, Palette::foreground, title), 4);

    // The icon fills (12, 12, 84, 84) of the content: not the background at its middle.
    const auto icon = pixels::bounds_where(image, [](juce::Colour c) { return pixels::distance(c, Palette::background) > 30; },
                                           { 1, 31, 106, 108 });
    EXPECT_TRUE(juce::Rectangle<int>(1 + 12, 31 + 12, 84, 84).contains(icon)) << icon.toString();
    EXPECT_NEAR(icon.getCentreX(), 1 + 12 + 42, 2);
    EXPECT_NEAR(icon.getCentreY(), 31 + 12 + 42, 2);
    EXPECT_GT(icon.getWidth(), 40);

    // The link text in link blue, inside the link's box.
    const auto linkBox = juce::Rectangle<int>(1 + 170, 31 + 86, 170, 18);
    EXPECT_GT(pixels::count_near(image, Palette::link, linkBox, 40), 20);
    EXPECT_EQ(pixels::count_near(image, Palette::link, image.getBounds().withTrimmedTop(31 + 86 - 1), 40),
              pixels::count_near(image, Palette::link, linkBox, 40));
}

TEST_F(WindowTest, AboutKeyOnlyAfterTheWorkerHasEnded)
{
    auto window = make_window("");
    show_and_focus(*window);

    // Shift or Ctrl with I is not the mapping.
    press(*window, juce::KeyPress('i', juce::ModifierKeys::shiftModifier, 'I'));
    press(*window, juce::KeyPress('i', juce::ModifierKeys::ctrlModifier, 0));
    EXPECT_EQ(shown_alert(), nullptr);

    press(*window, juce::KeyPress('i', juce::ModifierKeys::noModifiers, 'i'));
    auto* alert = shown_alert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->getName(), "About");
    EXPECT_EQ(alert->getAlertType(), juce::MessageBoxIconType::InfoIcon);
    EXPECT_EQ(alert->getDescription(), "About. " + about_text());
    EXPECT_EQ(alert->getNumButtons(), 1);
    int okButtons = 0;
    for (auto* child : alert->getChildren())
        if (auto* button = dynamic_cast<juce::TextButton*>(child))
            okButtons += button->getButtonText() == "OK" ? 1 : 0;
    EXPECT_EQ(okButtons, 1);
}

TEST_F(WindowTest, AboutKeyDoesNothingWhileTheWorkerRuns)
{
    devbackend::DevBackend backend;
    ASSERT_TRUE(backend.start());
    backend.script("/", devbackend::Reply::json(R"({"message":"slow"})").with_delay(20000));

    auto window = make_window("--skip-update");
    window->content->launcher.config.app_api = backend.origin();
    show_and_focus(*window);
    window->content->launcher.startThread();
    ASSERT_TRUE(backend.wait_for_request("/", 10000));
    ASSERT_TRUE(window->content->launcher.isThreadRunning());

    press(*window, juce::KeyPress('i', juce::ModifierKeys::noModifiers, 'i'));
    juce::MessageManager::getInstance()->runDispatchLoopUntil(200);
    EXPECT_EQ(shown_alert(), nullptr);

    // The commands keep answering that they were handled.
    juce::ApplicationCommandTarget::InvocationInfo about(MenuCommand::about);
    EXPECT_TRUE(window->content->perform(about));
    juce::ApplicationCommandTarget::InvocationInfo unknown(42);
    EXPECT_FALSE(window->content->perform(unknown));

    // Closing the window stops the worker, the request in flight included.
    window.reset();
    backend.stop();
}

// The menu model is never shown, but lists the three commands under "Help".
TEST_F(WindowTest, HelpMenuListsTheCommands)
{
    auto window = make_window("--headless");
    auto& content = *window->content;

    EXPECT_EQ(content.getMenuBarNames(), juce::StringArray({ "Help" }));
    juce::StringArray items;
    const auto menu = content.getMenuForIndex(0, "Help");
    juce::PopupMenu::MenuItemIterator iterator(menu);
    while (iterator.next())
        items.add(iterator.getItem().text + "/" + juce::String(iterator.getItem().itemID));
    EXPECT_EQ(items, juce::StringArray({ "About/1", "Solvanter Support/2", "Quit/3" }));
    EXPECT_EQ(content.getMenuForIndex(1, "Other").getNumItems(), 0);

    // Support has no key: the link is the only way to the site.
    EXPECT_TRUE(content.commandManager.getKeyMappings()->getKeyPressesAssignedToCommand(MenuCommand::support).isEmpty());
}
