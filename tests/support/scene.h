#pragma once

// Shared by the engine and patcher tests: scratch files, archives, the stand-in application, and
// the launcher's folder (the folder of the test program) with the dev backend.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "dev_backend.h"
#include "engine/LauncherComponent.h"
#include "platform/platform.h"
#include "support/captured_log.h"
#include "support/waiting.h"

inline juce::File build_file(const juce::String& relative) { return juce::File(SOLVANTER_BUILD_DIR).getChildFile(relative); }
inline juce::File standin_binary() { return build_file("tests/standin/solvanter-standin-app"); }
inline juce::File script_host_binary() { return build_file("bin/solvanter-script-host"); }

// A temporary folder, removed with everything in it.
struct ScratchFolder
{
    ScratchFolder() { folder.createDirectory(); }
    // Raw: a test may leave names that are not text, which the framework would overrun.
    ~ScratchFolder() { platform::delete_tree(folder); }
    juce::File operator/(const juce::String& relative) const { return folder.getChildFile(relative); }

    const juce::File folder =
        juce::File::getSpecialLocation(juce::File::tempDirectory).getNonexistentChildFile("solvanter-test", "", false);
};

inline std::string file_bytes(const juce::File& file)
{
    juce::MemoryBlock data;
    return file.loadFileAsData(data) && data.getSize() > 0 ? std::string((const char*) data.getData(), data.getSize()) : "";
}
// Creates the folders above it.
inline bool write_file(const juce::File& file, const std::string& bytes)
{
    return file.getParentDirectory().createDirectory() && file.replaceWithData(bytes.data(), bytes.size());
}
inline bool copy_executable(const juce::File& from, const juce::File& to)
{
    return from.copyFileTo(to) && to.setExecutePermission(true);
}
inline int count_starting(const std::vector<std::string>& strings, const std::string& prefix)
{
    return (int) std::count_if(strings.begin(), strings.end(), [&](const auto& s) { return s.rfind(prefix, 0) == 0; });
}

// Sets or clears the immutable attribute, which even root cannot delete past.
inline bool set_immutable(const juce::File& file, bool immutable)
{
    const int fd = open(file.getFullPathName().toRawUTF8(), O_RDONLY | O_NONBLOCK);
    int flags = 0;
    bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        close(fd);
    return done;
}

// Puts held/file into `folder`, which then cannot be removed whole, though it can be renamed: as a
// file held open on Windows. Root ignores permission bits, so it gets the immutable attribute;
// another user gets held/ read-only. Undone by make_deletable. Empty when it worked, else why not.
inline juce::String make_undeletable(const juce::File& folder)
{
    const auto file = folder.getChildFile("held/file");
    if (! write_file(file, "held"))
        return "cannot write " + file.getFullPathName();
    if (geteuid() == 0)
        set_immutable(file, true);
    else
        chmod(file.getParentDirectory().getFullPathName().toRawUTF8(), 0555);
    if (file.deleteFile())
        return "neither the immutable attribute nor a read-only folder keeps a file here";
    return {};
}
inline void make_deletable(const juce::File& folder)
{
    const auto held = folder.getChildFile("held");
    chmod(held.getFullPathName().toRawUTF8(), 0755);
    set_immutable(held.getChildFile("file"), false);
}

// An archive entry; `mode` is recorded as its Unix file mode (0: none); `declared`, when set, is
// the uncompressed size the directory claims instead of the true one.
struct ZipEntry
{
    juce::String name;
    std::string bytes;
    unsigned mode = 0;
    int compression = 0;
    juce::int64 declared = -1;
};
inline ZipEntry link_entry(const juce::String& name, const std::string& target) { return { name, target, 0120777 }; }

inline std::string zip_of(const std::vector<ZipEntry>& entries)
{
    juce::ZipFile::Builder builder;
    for (const auto& e : entries)
        builder.addEntry(new juce::MemoryInputStream(e.bytes.data(), e.bytes.size(), true), e.compression, e.name,
                         juce::Time::getCurrentTime());
    juce::MemoryOutputStream out;
    builder.writeToStream(out, nullptr);
    std::string zip((const char*) out.getData(), out.getDataSize());

    // The builder records no file modes: write them into the central directory, which the end
    // record (the last 22 bytes) locates.
    const auto u16 = [&](size_t at) { return (size_t) (juce::uint8) zip[at] | (size_t) (juce::uint8) zip[at + 1] << 8; };
    auto at = u16(zip.size() - 6) | u16(zip.size() - 4) << 16;
    for (const auto& e : entries)
    {
        for (size_t i = 0; i < 4; ++i)
        {
            zip[at + 38 + i] = (char) ((e.mode << 16) >> (8 * i));
            if (e.declared >= 0)
                zip[at + 24 + i] = (char) (e.declared >> (8 * i));
        }
        at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
    }
    return zip;
}

// The archive with every `placeholder` in it made `bytes` (of the same length): names that no
// framework string would carry as they are, such as invalid UTF-8.
inline std::string with_bytes(std::string zip, const std::string& placeholder, const std::string& bytes)
{
    for (auto at = zip.find(placeholder); at != std::string::npos; at = zip.find(placeholder, at + bytes.size()))
        zip.replace(at, placeholder.size(), bytes);
    return zip;
}

// Solvanter/ holding the stand-in as its executable, version.txt and the stand-in's settings.
// version.txt is a link inside the build, which every install must keep working.
inline std::string app_zip(const juce::String& version, const juce::StringArray& settings = {})
{
    return zip_of({ { "Solvanter/Solvanter.exe", file_bytes(standin_binary()), 0100755 },
                    link_entry("Solvanter/version.txt", "about/version"),
                    { "Solvanter/about/version", version.toStdString() },
                    { "Solvanter/standin.conf", settings.joinIntoString("\n").toStdString() } });
}

// Reaches the component's private steps and display parts.
struct LauncherComponentProbe
{
    LauncherComponent& c;

    juce::Result download_app(juce::MemoryBlock& d) { return c.download_build(d, "Solvanter", c.config.app_download_url()); }
    juce::Result install_app(const juce::MemoryBlock& d) { return c.install_app(d); }
    bool update_launcher() { return c.update_launcher(); }
    bool check_app_update() { return c.check_app_update(); }
    juce::int64& archiveCeiling() { return c.archiveCeiling; }
    juce::Label& label() { return c.stateLabel; }
    juce::ProgressBar& bar() { return c.progressBar; }
    int& pointCount() { return c.spinnerPointCount; }
};

// A launched stand-in that leaves by itself soon after its window was found.
inline const juce::StringArray shortLivedApp { "lifetime_ms=2000" };

// The launcher's folder cleaned before and after each test, the dev backend running, every log
// line collected, and no application window open.
struct EngineTest : ::testing::Test
{
    static bool no_app_window() { return ! platform::top_level_window_exists("Solvanter"); }
    static juce::File appFolder() { return launcher_child_file("Solvanter"); }
    static juce::String installed_version() { return appFolder().getChildFile("version.txt").loadFileAsString(); }
    // The replaced builds set aside (Solvanter.old, Solvanter.old.2, ...) and the staging folders.
    static juce::Array<juce::File> install_folders()
    {
        auto found = launcher_directory().findChildFiles(juce::File::findFilesAndDirectories, false, "Solvanter*.old*");
        found.addArray(launcher_directory().findChildFiles(juce::File::findFilesAndDirectories, false, "Solvanter*.installing*"));
        return found;
    }
    // What an install may leave behind, or plant beside the application.
    static juce::String leftovers()
    {
        juce::StringArray names;
        for (const auto& file : install_folders())
            names.add(file.getFileName());
        names.sort(false);
        for (const auto& name : { "config.xml", "outside.txt", "newdir", "escaped.txt" })
            if (launcher_child_file(name).exists())
                names.add(name);
        return names.joinIntoString(",");
    }
    // A script host left beside the test program would let a later hand-over restart it.
    static void clean_launcher_folder()
    {
        make_deletable(appFolder());
        for (const auto& file : install_folders())
        {
            make_deletable(file);
            make_deletable(file.getChildFile("Solvanter"));
            file.deleteRecursively();
        }
        for (auto name : { "Solvanter", "config.xml", "Solvanter Launcher", "patcher.bat", "patcher.vbs", "patcher.txt",
                           "stray-entry.txt", "solvanter-script-host", "precious.txt", "install.lock", "escaped.txt" })
            launcher_child_file(name).deleteRecursively();
    }

    // The processes started from inside the launcher's folder (the stand-ins a launched run
    // started, a lock holder) other than this one. Linux: read from /proc.
    static juce::Array<pid_t> launched_processes()
    {
        juce::Array<pid_t> pids;
        for (const auto& entry : juce::RangedDirectoryIterator(juce::File("/proc"), false, "*", juce::File::findDirectories))
        {
            const auto exe = entry.getFile().getChildFile("exe").getLinkedTarget();
            const auto pid = entry.getFile().getFileName().getIntValue();
            if (pid > 0 && pid != getpid() && exe.isAChildOf(launcher_directory()))
                pids.add(pid);
        }
        return pids;
    }

    void SetUp() override
    {
        ASSERT_TRUE(standin_binary().existsAsFile()) << "build the solvanter-standin-app target first";
        ASSERT_TRUE(wait_until(no_app_window, 8000)); // another test's application may still be leaving
        clean_launcher_folder();
        ASSERT_TRUE(backend.start());
    }

    void TearDown() override
    {
        unsetenv("STANDIN_MESSAGE"); // a case may hand the stand-in its output this way
        if (window != nullptr)
            window->kill();
        // A failed case may leave its application running, which must not fail every later case.
        for (const auto pid : launched_processes())
            kill(pid, SIGKILL);
        wait_until([] { return launched_processes().isEmpty(); }, 8000);
        wait_until(no_app_window, 8000);
        backend.stop();
        clean_launcher_folder();
    }

    // Wired to the dev backend, self-update skipped; its worker is not started.
    std::unique_ptr<LauncherComponent> make_launcher(bool skipAppUpdate = false, bool writeConfig = false)
    {
        auto launcher = std::make_unique<LauncherComponent>(true, skipAppUpdate, writeConfig);
        launcher->config.launcher_api = juce::URL(backend.origin() + "/launcher/Windows");
        launcher->config.app_api = backend.origin();
        launcher->setSize(388, 78);
        return launcher;
    }

    bool run_to_end(LauncherComponent& launcher)
    {
        launcher.startThread();
        const auto ended = wait_until([&] { return ! launcher.isThreadRunning(); }, 30000);
        pump(50); // the closures the worker posted last
        return ended;
    }

    void pack_app(const juce::String& version, const juce::StringArray& settings = {})
    {
        backend.script("/builds/app.zip", devbackend::Reply::file(app_zip(version, settings)), false);
    }
    void install_standin(const juce::String& version, const juce::StringArray& settings = {})
    {
        ASSERT_TRUE(write_file(appFolder().getChildFile("version.txt"), version.toStdString()));
        ASSERT_TRUE(copy_executable(standin_binary(), launcher_executable_file("Solvanter")));
        ASSERT_TRUE(write_file(appFolder().getChildFile("standin.conf"), settings.joinIntoString("\n").toStdString()));
    }

    // A stand-in of the test's own (so it reads these settings) showing a window with this title.
    void open_app_window(int lifetimeMs = 20000, const juce::String& title = "Solvanter")
    {
        const auto copy = scratch / "window/standin";
        ASSERT_TRUE(write_file(scratch / "window/standin.conf",
                               "title=" + title.toStdString() + "\nlifetime_ms=" + std::to_string(lifetimeMs)));
        ASSERT_TRUE(copy_executable(standin_binary(), copy));
        window = std::make_unique<juce::ChildProcess>();
        ASSERT_TRUE(window->start(copy.getFullPathName(), 0));
        ASSERT_TRUE(wait_until([&] { return platform::top_level_window_exists(title); }, 5000));
    }

    bool requested(const std::string& prefix) const { return count_starting(backend.requests(), prefix) > 0; }

    CapturedLog log;
    devbackend::DevBackend backend;
    ScratchFolder scratch;
    std::unique_ptr<juce::ChildProcess> window;
};
