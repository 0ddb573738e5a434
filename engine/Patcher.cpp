#include "engine/Patcher.h"

#include "platform/platform.h"
#include "services/build_info.h"
#include "services/log.h"
#include "services/log_text.h"

namespace
{
// In a batch file the interpreter reads a percent sign as the start of a variable, also inside
// quotes; a doubled one stands for itself.
juce::String batch_quoted(const juce::String& text)
{
    return text.replace("%", "%%").quoted();
}

// patcher.bat is a Windows batch file wherever it was written, so its relative paths always
// use backslashes; the script host reads them as the OS separator.
juce::String batch_path(const juce::File& file, const juce::File& base)
{
    return batch_quoted(file.getRelativePathFrom(base).replaceCharacter('/', '\\'));
}

// What a quoted path in patcher.bat cannot hold: a line break ends the command and starts another,
// a double quote ends the quoting, and a backslash is read as a separator where a name meant a
// character.
bool batch_can_carry(const juce::String& path)
{
    return ! path.containsAnyOf("\r\n\"\\");
}

// An entry's name also goes into the move lines, where a colon would name a drive or a stream.
bool batch_can_carry_name(const juce::String& name)
{
    return batch_can_carry(name) && ! name.containsChar(':');
}

// For the failure message: the name as a log line shows it, line breaks and all.
juce::String shown(const juce::String& text)
{
    return "\"" + shown_in_log(text) + "\"";
}

// cmd reads the batch file in the console's code page: a path or name there must come out of it
// as the very text meant, or cmd moves, removes and restarts other files than those meant.
bool console_can_carry(const juce::String& text)
{
    std::string bytes;
    return platform::to_console_code_page(text, bytes);
}

juce::String outside_the_code_page()
{
    return " cannot be written to the patcher script in the console's code page " + platform::console_code_page_name();
}

bool write_batch(const juce::File& file, const juce::StringArray& lines)
{
    // CR LF between lines and none after the last, in the console's code page.
    std::string bytes;
    return platform::to_console_code_page(lines.joinIntoString("\r\n"), bytes)
           && file.replaceWithData(bytes.data(), bytes.size());
}

// patcher.vbs holds ASCII alone: it names the batch file relative to the working folder.
bool write_script(const juce::File& file, const juce::StringArray& lines)
{
    // 8-bit text, no byte-order mark, CR LF between lines and none after the last.
    return file.replaceWithText(lines.joinIntoString("\n"), false, false, "\r\n");
}
} // namespace

Patcher::Patcher(const juce::File& newBuildFolder_)
    : executable(build_info::running_executable()),
      installFolder(executable.getParentDirectory()),
      newBuildFolder(newBuildFolder_),
      sourceFolder(newBuildFolder_),
      vbsFile(installFolder.getChildFile("patcher.vbs"))
{
}

juce::Result Patcher::generate()
{
    log_info("Generating patcher script");

    // The restart line names the launcher by its full path, which holds this OS's separators.
    const auto separator = juce::File::getSeparatorChar();
    if (! batch_can_carry(executable.getFullPathName().replaceCharacter(separator, '/')))
        return juce::Result::fail("Launcher path " + shown(executable.getFullPathName())
                                  + " cannot be written to the patcher script");
    if (! console_can_carry(executable.getFullPathName()))
        return juce::Result::fail("Launcher path " + shown(executable.getFullPathName()) + outside_the_code_page());

    // Keys compare without case, as Windows names do: two names that differ only in case are
    // one target, moved once.
    juce::StringPairArray moves;
    for (const auto& entry : juce::RangedDirectoryIterator(sourceFolder, false, "*",
                                                           juce::File::findFilesAndDirectories))
    {
        const auto file = entry.getFile();
        if (! batch_can_carry_name(file.getFileName()))
            return juce::Result::fail("Launcher build entry " + shown(file.getFileName())
                                      + " cannot be written to the patcher script");
        if (! console_can_carry(file.getFileName()))
            return juce::Result::fail("Launcher build entry " + shown(file.getFileName()) + outside_the_code_page());
        moves.set(file.getFileName(), batch_path(file, installFolder));
    }

    if (moves.getAllKeys().isEmpty())
        return juce::Result::fail("Could not find any files in launcher build");

    juce::StringArray batch;
    batch.add(">patcher.txt 2>&1 (");
    batch.add("timeout /t 1");
    batch.add("echo starting Launcher self-update...");
    for (const auto& name : moves.getAllKeys())
        batch.add("move /y " + moves[name] + " " + batch_path(installFolder.getChildFile(name), installFolder));
    batch.add("rd " + batch_path(newBuildFolder, installFolder) + " /s /q");
    batch.add("rd " + batch_path(installFolder.getChildFile("Solvanter.app"), installFolder) + " /s /q");
    batch.add("echo restart updated launcher");
    batch.add(")");
    batch.add(batch_quoted(executable.getFullPathName()));

    if (! write_batch(installFolder.getChildFile("patcher.bat"), batch))
        return juce::Result::fail("Failed to write patcher batch script to file");

    const juce::StringArray vbs {
        "Set oShell = CreateObject(\"Wscript.Shell\")",
        "Dim strArgs",
        "strArgs = \"cmd /c patcher.bat\"",
        "oShell.Run strArgs, 0, false",
    };

    if (! write_script(vbsFile, vbs))
        return juce::Result::fail("Failed to write patcher script to file");

    return juce::Result::ok();
}

juce::Result Patcher::run()
{
    log_info("Running patcher script");

    if (vbsFile.getFullPathName().isEmpty() || ! vbsFile.exists())
        return juce::Result::fail("Failed to start patcher script");

    if (! platform::start_patcher_script(vbsFile))
        return juce::Result::fail("Failed to start patcher script");

    return juce::Result::ok();
}
