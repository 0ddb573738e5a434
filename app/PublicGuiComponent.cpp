#include "app/PublicGuiComponent.h"

#include "services/build_info.h"
#include "services/system_info.h"
#include "ui/embedded_font.h"
#include "ui/palette.h"
#include "solvanter_resources.h"

PublicGuiComponent::PublicGuiComponent(bool headless_, bool skipUpdate, bool skipAppUpdate, bool writeConfig)
    : headless(headless_),
      launcher(skipUpdate, skipAppUpdate, writeConfig),
      icon(juce::ImageCache::getFromMemory(solvanter_resources::icon_png, solvanter_resources::icon_pngSize)),
      supportUrl(build_info::support_page()),
      supportLink(build_info::support_host(), supportUrl)
{
    setSize(512, 108);

    setApplicationCommandManagerToWatch(&commandManager);
    commandManager.registerAllCommandsForTarget(this);

    supportLink.setFont(embedded_font(), true);
    supportLink.setColour(juce::HyperlinkButton::textColourId, Palette::link);
    supportLink.setJustificationType(juce::Justification::centred);

    addAndMakeVisible(launcher);
    addAndMakeVisible(supportLink);

    setWantsKeyboardFocus(! headless);

    if (headless)
    {
        // Nobody can close a headless run after a failure: end it with exit code 1. The worker
        // calls this, so the quit is made on the message thread.
        launcher.onSequenceFailed = [] {
            juce::MessageManager::callAsync([] {
                if (auto* app = juce::JUCEApplicationBase::getInstance())
                {
                    app->setApplicationReturnValue(1);
                    app->systemRequestedQuit();
                }
            });
        };
    }
}

PublicGuiComponent::~PublicGuiComponent()
{
    setApplicationCommandManagerToWatch(nullptr);
}

void PublicGuiComponent::paint(juce::Graphics& g)
{
    g.setImageResamplingQuality(juce::Graphics::highResamplingQuality);

    if (icon.isValid())
        g.drawImage(icon, juce::Rectangle<float>(12.0f, 12.0f, 84.0f, 84.0f), juce::RectanglePlacement::stretchToFit);
}

void PublicGuiComponent::resized()
{
    launcher.setBounds(108, 12, 388, 78);
    supportLink.setBounds(170, 86, 170, 18);
}

juce::ApplicationCommandTarget* PublicGuiComponent::getNextCommandTarget()
{
    return findFirstTargetParentComponent();
}

void PublicGuiComponent::getAllCommands(juce::Array<juce::CommandID>& commands)
{
    commands.add(MenuCommand::about, MenuCommand::support, MenuCommand::quit);
}

void PublicGuiComponent::getCommandInfo(juce::CommandID commandID, juce::ApplicationCommandInfo& result)
{
    switch (commandID)
    {
        case MenuCommand::about:
            result.setInfo("About", "About Solvanter Launcher", "Menu", 0);
            result.addDefaultKeypress('i', juce::ModifierKeys::noModifiers);
            break;
        case MenuCommand::support:
            result.setInfo("Solvanter Support", "Open support webpage", "Menu", 0);
            break;
        case MenuCommand::quit:
            result.setInfo("Quit", "Quit Launcher", "Menu", 0);
            result.addDefaultKeypress(juce::KeyPress::escapeKey, juce::ModifierKeys::noModifiers);
            break;
        default:
            break;
    }
}

bool PublicGuiComponent::perform(const InvocationInfo& info)
{
    switch (info.commandID)
    {
        case MenuCommand::about:
            show_about_box();
            return true;
        case MenuCommand::support:
            supportUrl.launchInDefaultBrowser();
            return true;
        case MenuCommand::quit:
            if (auto* app = juce::JUCEApplicationBase::getInstance())
                app->systemRequestedQuit();
            return true;
        default:
            return false;
    }
}

juce::StringArray PublicGuiComponent::getMenuBarNames()
{
    return { "Help" };
}

juce::PopupMenu PublicGuiComponent::getMenuForIndex(int topLevelMenuIndex, const juce::String&)
{
    juce::PopupMenu menu;

    if (topLevelMenuIndex == 0)
    {
        menu.addCommandItem(&commandManager, MenuCommand::about);
        menu.addCommandItem(&commandManager, MenuCommand::support);
        menu.addCommandItem(&commandManager, MenuCommand::quit);
    }

    return menu;
}

void PublicGuiComponent::menuItemSelected(int, int)
{
}

void PublicGuiComponent::show_about_box()
{
    if (launcher.isThreadRunning())
        return;

    juce::AlertWindow::showMessageBoxAsync(juce::MessageBoxIconType::InfoIcon,
                                           "About",
                                           about_text(),
                                           "OK",
                                           getTopLevelComponent(),
                                           nullptr);
}
