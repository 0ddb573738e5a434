#include <gtest/gtest.h>

#include <iostream>

#include <juce_events/juce_events.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "platform/platform.h"
#include "support/waiting.h"

// "--hold-lock FILE": holds the lock on that file, as another launcher would, until killed (at
// most a minute), after printing "locked".
static int hold_lock(const char* path)
{
    std::intptr_t handle = 0;
    if (! wait_until([&] { return platform::try_lock_file(juce::File(path), handle) == platform::FileLockOutcome::taken; }, 10000))
        return 1;
    std::cout << "locked" << std::endl;
    juce::Thread::sleep(60000);
    return 0;
}

// The message manager must exist for timers, posted closures and components.
int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--hold-lock")
        return hold_lock(argv[2]);

    ::testing::InitGoogleTest(&argc, argv);
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
