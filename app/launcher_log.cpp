#include "app/launcher_log.h"

#include "platform/platform.h"
#include "services/build_info.h"

juce::File launcher_log_file()
{
    return juce::File::getSpecialLocation(juce::File::userApplicationDataDirectory)
        .getChildFile("Solvanter")
        .getChildFile("launcher.log");
}

void cut_log_file(const juce::File& file, juce::int64 maxBytes)
{
    const auto size = file.getSize();
    if (size <= maxBytes)
        return;

    juce::MemoryBlock tail;
    {
        juce::FileInputStream in(file);
        if (! in.openedOk() || ! in.setPosition(size - maxBytes))
            return;
        // To the end as it is now: lines appended meanwhile are kept too.
        in.readIntoMemoryBlock(tail);
    }

    const auto* bytes = static_cast<const char*>(tail.getData());
    const auto* end = bytes + tail.getSize();
    const auto* lineBreak = std::find_if(bytes, end, [](char c) { return c == '\n' || c == '\r'; });
    if (lineBreak == end)
        return;

    juce::TemporaryFile copy(file);
    {
        juce::FileOutputStream out(copy.getFile());
        if (! out.openedOk() || ! out.write(lineBreak, (size_t) (end - lineBreak)))
            return;
        out.flush();
        if (out.getStatus().failed())
            return;
    }
    if (copy.getFile().getSize() == end - lineBreak)
        copy.overwriteTargetFileWithTemporary();
}

LauncherLog::LauncherLog(const juce::File& file, const juce::String& welcomeMessage, juce::int64 maxInitialBytes)
    : logFile(file)
{
    // Under the log's lock, so that no launcher started at the same time appends a line to the
    // log this cut replaces.
    const auto folder = logFile.getParentDirectory();
    platform::with_log_lock(folder, [&] { cut_log_file(logFile, maxInitialBytes); });

    // Launchers started together make the folders at once, and the framework gives up on a folder
    // another one made a moment before; each try gets at least one level further.
    for (int attempt = 0; attempt < 8 && ! folder.isDirectory(); ++attempt)
        folder.createDirectory();

    juce::String welcome;
    welcome << juce::newLine << "**********************************************************" << juce::newLine
            << welcomeMessage << juce::newLine
            << "Log started: " << juce::Time::getCurrentTime().toString(true, true) << juce::newLine;
    LauncherLog::logMessage(welcome);
}

void LauncherLog::logMessage(const juce::String& message)
{
    const auto line = message + juce::newLine;
    platform::with_log_lock(logFile.getParentDirectory(),
                            [&] { platform::append_to_file(logFile, line.toRawUTF8(), line.getNumBytesAsUTF8()); });
}

std::unique_ptr<LauncherLog> open_launcher_log()
{
    return std::make_unique<LauncherLog>(launcher_log_file(), build_info::application_name, 65536);
}
