#include "app/MainWindow.h"

#include "ui/palette.h"

namespace
{
// Without an X display (or any screen) there is nothing to place a window on; the headless and
// write-config runs still need the window object and its engine.
bool screen_available()
{
    return juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr;
}
} // namespace

MainWindow::MainWindow(const juce::String& name, const juce::ArgumentList& args)
    : juce::DocumentWindow(name,
                           Palette::background,
                           juce::DocumentWindow::minimiseButton | juce::DocumentWindow::closeButton,
                           screen_available())
{
    const bool writeConfig = args.indexOfOption("--write-config") >= 0;
    const bool skipAppUpdate = args.indexOfOption("--skip-app-update") >= 0;
    const bool skipUpdate = args.indexOfOption("--skip-update") >= 0;
    const bool headless = args.indexOfOption("--headless") >= 0;

    content = std::make_unique<PublicGuiComponent>(headless, skipUpdate, skipAppUpdate, writeConfig);

    lookAndFeel = std::make_unique<juce::SvLookAndFeel>(true);
    juce::Desktop::getInstance().setDefaultLookAndFeel(lookAndFeel.get());

    setUsingNativeTitleBar(false);
    setTitleBarTextCentred(false);
    setTitleBarHeight(30);
    // `content` keeps ownership; the window only shows it.
    setContentNonOwned(content.get(), true);
    setResizable(false, false);

    if (screen_available())
        centreWithSize(getWidth(), getHeight());

    addKeyListener(content->commandManager.getKeyMappings());
}

MainWindow::~MainWindow()
{
    removeKeyListener(content->commandManager.getKeyMappings());
    // Hand the desktop its own look and feel back before ours goes away.
    juce::Desktop::getInstance().setDefaultLookAndFeel(nullptr);
    lookAndFeel.reset();
    clearContentComponent();
    content.reset();
}

void MainWindow::closeButtonPressed()
{
    if (auto* app = juce::JUCEApplicationBase::getInstance())
        app->systemRequestedQuit();
}
