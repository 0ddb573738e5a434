#include <gtest/gtest.h>

#include <iostream>

#include <juce_events/juce_events.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "engine/Patcher.h"
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

// "--write-patcher FOLDER": writes the patcher's scripts for the build in FOLDER, as a launcher
// at this program's path would; exit code 0 when they were written.
static int write_patcher(const char* folder)
{
    const auto result = Patcher(juce::File(folder)).generate();
    if (result.failed())
        std::cerr << result.getErrorMessage() << std::endl;
    return result.wasOk() ? 0 : 1;
}

// The message manager must exist for timers, posted closures and components.
int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--hold-lock")
        return hold_lock(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--write-patcher")
        return write_patcher(argv[2]);

    ::testing::InitGoogleTest(&argc, argv);
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
