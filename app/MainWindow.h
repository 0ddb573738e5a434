#pragma once

#include <memory>

#include <juce_gui_basics/juce_gui_basics.h>

#include "app/PublicGuiComponent.h"
#include "app/SvLookAndFeel.h"

// The launcher's one window: fixed size, dark title bar drawn by SvLookAndFeel with minimise and
// close buttons, the PublicGuiComponent as content. Built hidden; the application object shows it
// or not. Message thread only.
class MainWindow : public juce::DocumentWindow
{
public:
    MainWindow(const juce::String& name, const juce::ArgumentList& args);
    ~MainWindow() override;

    // Asks the application object to quit; the window stays until the shutdown.
    void closeButtonPressed() override;

    std::unique_ptr<PublicGuiComponent> content;
    std::unique_ptr<juce::SvLookAndFeel> lookAndFeel;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(MainWindow)
};
