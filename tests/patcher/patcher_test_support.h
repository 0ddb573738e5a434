#pragma once

// Shared by the patcher tests: scratch folders and file helpers.

#include <gtest/gtest.h>

#include <juce_core/juce_core.h>

#include "support/captured_log.h"
#include "support/waiting.h"

#include <algorithm>
#include <string>
#include <vector>

// A temporary folder, removed with everything in it.
struct ScratchFolder
{
    ScratchFolder() { folder.createDirectory(); }
    ~ScratchFolder() { folder.deleteRecursively(); }
    juce::File operator/(const juce::String& relative) const { return folder.getChildFile(relative); }

    const juce::File folder =
        juce::File::getSpecialLocation(juce::File::tempDirectory).getNonexistentChildFile("patcher-test", "", false);
};

inline std::string file_bytes(const juce::File& file)
{
    juce::MemoryBlock data;
    file.loadFileAsData(data);
    return std::string(static_cast<const char*>(data.getData()), data.getSize());
}

inline bool write_file(const juce::File& file, const std::string& bytes)
{
    file.getParentDirectory().createDirectory();
    return file.replaceWithData(bytes.data(), bytes.size());
}

inline juce::File build_file(const juce::String& relative) { return juce::File(SOLVANTER_BUILD_DIR).getChildFile(relative); }
inline juce::File script_host_binary() { return build_file("bin/solvanter-script-host"); }
inline bool copy_executable(const juce::File& from, const juce::File& to)
{
    return from.copyFileTo(to) && to.setExecutePermission(true);
}

inline int count_starting(const std::vector<std::string>& requests, const std::string& prefix)
{
    return (int) std::count_if(requests.begin(), requests.end(), [&](const auto& r) { return r.rfind(prefix, 0) == 0; });
}

// The launcher's folder for in-process tests: this test program's. Removes what a self-update
// leaves there; a script host left there would let a later hand-over restart the tests.
inline juce::File clean_test_folder()
{
    const auto folder = juce::File::getSpecialLocation(juce::File::hostApplicationPath).getParentDirectory();
    for (auto name : { "Solvanter Launcher", "patcher.bat", "patcher.vbs", "patcher.txt", "stray-entry.txt",
                       "solvanter-script-host" })
        folder.getChildFile(name).deleteRecursively();
    return folder;
}
