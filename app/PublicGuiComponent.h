#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "engine/LauncherComponent.h"

// Command ids of the window's three commands.
namespace MenuCommand
{
enum Id : juce::CommandID
{
    about = 1,
    support = 2,
    quit = 3
};
} // namespace MenuCommand

// The window's content: the application icon, the engine's LauncherComponent and the support
// link, plus the About, Support and Quit commands with their keys and a "Help" menu model that
// nothing shows. Message thread only.
class PublicGuiComponent : public juce::Component,
                           public juce::ApplicationCommandTarget,
                           public juce::MenuBarModel
{
public:
    PublicGuiComponent(bool headless, bool skipUpdate, bool skipAppUpdate, bool writeConfig);
    ~PublicGuiComponent() override;

    void paint(juce::Graphics& g) override;
    void resized() override;

    juce::ApplicationCommandTarget* getNextCommandTarget() override;
    void getAllCommands(juce::Array<juce::CommandID>& commands) override;
    void getCommandInfo(juce::CommandID commandID, juce::ApplicationCommandInfo& result) override;
    bool perform(const InvocationInfo& info) override;

    juce::StringArray getMenuBarNames() override;
    juce::PopupMenu getMenuForIndex(int topLevelMenuIndex, const juce::String& menuName) override;
    void menuItemSelected(int menuItemID, int topLevelMenuIndex) override;

    juce::ApplicationCommandManager commandManager;
    const bool headless;
    LauncherComponent launcher;
    juce::Image icon;
    juce::URL supportUrl;
    juce::HyperlinkButton supportLink;

private:
    // Shows the About box, but only once the worker thread has ended.
    void show_about_box();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(PublicGuiComponent)
};
