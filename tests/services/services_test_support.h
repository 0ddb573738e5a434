#pragma once

// Helpers shared by the services tests: capturing the current logger and the console streams,
// and owning the config.xml beside the test program.

#include <juce_core/juce_core.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <regex>
#include <string>

// A string array from literals and juce::Strings mixed.
inline juce::StringArray string_array(std::initializer_list<juce::String> items)
{
    juce::StringArray result;
    for (const auto& item : items)
        result.add(item);
    return result;
}

// Installed as the current juce::Logger for its lifetime; collects what it receives.
class CapturingLogger : public juce::Logger
{
public:
    CapturingLogger() { juce::Logger::setCurrentLogger(this); }
    ~CapturingLogger() override { juce::Logger::setCurrentLogger(nullptr); }

    void logMessage(const juce::String& message) override
    {
        const juce::ScopedLock sl(lock);
        messages.add(message);
    }

    juce::StringArray lines() const
    {
        const juce::ScopedLock sl(lock);
        return messages;
    }

    // The lines with their "HH:MM:SS " stamp removed; lines without a stamp stay as they are.
    juce::StringArray untimed() const
    {
        juce::StringArray result;
        for (const auto& line : lines())
            result.add(has_time_stamp(line) ? line.substring(9) : line);
        return result;
    }

    void clear()
    {
        const juce::ScopedLock sl(lock);
        messages.clear();
    }

    static bool has_time_stamp(const juce::String& line)
    {
        static const std::regex stamp(R"(^\d\d:\d\d:\d\d )");
        return std::regex_search(line.toStdString(), stamp);
    }

private:
    juce::CriticalSection lock;
    juce::StringArray messages;
};

// Sends standard output and standard error into temporary files until finish().
class ConsoleCapture
{
public:
    ConsoleCapture()
    {
        flush_all();
        savedOut = ::dup(STDOUT_FILENO);
        savedErr = ::dup(STDERR_FILENO);
        redirect(outFile.getFile(), STDOUT_FILENO);
        redirect(errFile.getFile(), STDERR_FILENO);
    }

    ~ConsoleCapture() { finish(); }

    void finish()
    {
        if (finished)
            return;
        finished = true;
        flush_all();
        ::dup2(savedOut, STDOUT_FILENO);
        ::dup2(savedErr, STDERR_FILENO);
        ::close(savedOut);
        ::close(savedErr);
        out = outFile.getFile().loadFileAsString().toStdString();
        err = errFile.getFile().loadFileAsString().toStdString();
    }

    std::string out, err;

private:
    static void flush_all()
    {
        std::cout.flush();
        std::cerr.flush();
        std::fflush(stdout);
        std::fflush(stderr);
    }

    static void redirect(const juce::File& file, int fd)
    {
        const int target = ::open(file.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(target, fd);
        ::close(target);
    }

    juce::TemporaryFile outFile { ".txt" }, errFile { ".txt" };
    int savedOut = -1, savedErr = -1;
    bool finished = false;
};

// The config.xml beside the running test program, which Config reads and writes. Removed when
// the guard is made and again when it goes, whatever a test left there.
class ConfigFileGuard
{
public:
    ConfigFileGuard() { remove(); }
    ~ConfigFileGuard() { remove(); }

    static juce::File file()
    {
        return juce::File::getSpecialLocation(juce::File::currentExecutableFile)
            .getParentDirectory()
            .getChildFile("config.xml");
    }

    // Writes a properties file holding the given key/value pairs, in order.
    void write_values(std::initializer_list<std::pair<const char*, const char*>> values) const
    {
        juce::XmlElement root("PROPERTIES");
        for (const auto& [key, value] : values)
        {
            auto* entry = root.createNewChildElement("VALUE");
            entry->setAttribute("name", key);
            entry->setAttribute("val", value);
        }
        write_text(root.toString());
    }

    void write_text(const juce::String& text) const { file().replaceWithText(text); }

    void remove() const { file().deleteRecursively(); }

    // The keys of the saved file, in file order, each as "key=value".
    static juce::StringArray saved_entries()
    {
        juce::StringArray entries;
        if (auto root = juce::parseXML(file()))
            for (auto* entry : root->getChildWithTagNameIterator("VALUE"))
                entries.add(entry->getStringAttribute("name") + "=" + entry->getStringAttribute("val"));
        return entries;
    }
};
