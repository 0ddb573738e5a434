#pragma once

// Shared by the patcher tests: a logger that collects lines, temporary folders, file helpers and
// the binaries the build puts beside each other.

#include <gtest/gtest.h>

#include <juce_core/juce_core.h>

#include <string>

// Installed as the current juce::Logger for its lifetime.
class LineCollector : public juce::Logger
{
public:
    LineCollector() { juce::Logger::setCurrentLogger(this); }
    ~LineCollector() override { juce::Logger::setCurrentLogger(nullptr); }

    void logMessage(const juce::String& message) override
    {
        const juce::ScopedLock sl(lock);
        // Drop the "HH:MM:SS " stamp.
        received.add(message.length() > 9 && message[2] == ':' && message[5] == ':' ? message.substring(9)
                                                                                      : message);
    }

    juce::StringArray lines() const
    {
        const juce::ScopedLock sl(lock);
        return received;
    }

    bool has(const juce::String& line) const { return lines().contains(line); }
    bool has_starting(const juce::String& prefix) const
    {
        for (const auto& line : lines())
            if (line.startsWith(prefix))
                return true;
        return false;
    }

private:
    juce::CriticalSection lock;
    juce::StringArray received;
};

// A folder under the system's temporary folder, removed with everything in it at the end.
class ScratchFolder
{
public:
    explicit ScratchFolder(const juce::String& prefix = "patcher-test")
        : folder(juce::File::getSpecialLocation(juce::File::tempDirectory)
                     .getNonexistentChildFile(prefix, "", false))
    {
        folder.createDirectory();
    }
    ~ScratchFolder() { folder.deleteRecursively(); }

    const juce::File& get() const { return folder; }
    juce::File operator/(const juce::String& relative) const { return folder.getChildFile(relative); }

private:
    juce::File folder;
};

// Makes the folder the working directory for the guard's lifetime.
class WorkingDirectory
{
public:
    explicit WorkingDirectory(const juce::File& folder)
        : previous(juce::File::getCurrentWorkingDirectory()), changed(folder.setAsCurrentWorkingDirectory())
    {
    }
    ~WorkingDirectory() { previous.setAsCurrentWorkingDirectory(); }

    bool ok() const { return changed; }

private:
    juce::File previous;
    bool changed;
};

inline std::string file_bytes(const juce::File& file)
{
    juce::MemoryBlock data;
    if (! file.loadFileAsData(data))
        return {};
    return std::string(static_cast<const char*>(data.getData()), data.getSize());
}

inline bool write_file(const juce::File& file, const std::string& bytes)
{
    file.getParentDirectory().createDirectory();
    return file.replaceWithData(bytes.data(), bytes.size());
}

// Waits until `done` holds, checking every 50 ms.
template <typename Condition>
bool eventually(Condition done, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! done())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return done();
        juce::Thread::sleep(50);
    }
    return true;
}

inline juce::File build_file(const juce::String& relative)
{
    return juce::File(SOLVANTER_BUILD_DIR).getChildFile(relative);
}

inline juce::File script_host_binary() { return build_file("bin/solvanter-script-host"); }
inline juce::File launcher_binary() { return build_file("bin/solvanter-launcher"); }

// Puts an executable copy of the built script host into the folder.
inline bool copy_script_host_to(const juce::File& folder)
{
    const auto copy = folder.getChildFile("solvanter-script-host");
    return script_host_binary().copyFileTo(copy) && copy.setExecutePermission(true);
}

// The batch file's line end.
inline const std::string crlf = "\r\n";
