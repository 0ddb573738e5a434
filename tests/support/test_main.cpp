#include <gtest/gtest.h>

#include <juce_events/juce_events.h>
#include <juce_gui_basics/juce_gui_basics.h>

// The message manager must exist for timers, posted closures and components.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
