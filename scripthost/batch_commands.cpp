#include "scripthost/batch_commands.h"

#include "scripthost/detach.h"

#include <cerrno>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace scripthost
{
namespace
{
const char* const notFound = "The system cannot find the file specified.\r\n";

std::string error_text(int error)
{
    switch (error)
    {
        case ENOENT: return notFound;
        case EACCES:
        case EPERM: return "Access is denied.\r\n";
        default: return std::generic_category().message(error) + "\r\n";
    }
}

std::string error_text(const std::error_code& ec)
{
    return ec.category() == std::generic_category() || ec.category() == std::system_category()
               ? error_text(ec.value())
               : ec.message() + "\r\n";
}

// A free name beside the target, where the old entry waits until the new one stands.
fs::path parking_place(const fs::path& target)
{
    for (int i = 0;; ++i)
    {
        auto candidate = target;
        candidate.replace_filename("." + target.filename().string() + ".replaced-"
                                   + std::to_string(getpid()) + "-" + std::to_string(i));
        std::error_code ec;
        if (! fs::exists(fs::symlink_status(candidate, ec)))
            return candidate;
    }
}
} // namespace

std::string timeout_message(int seconds)
{
    return "Waiting for " + std::to_string(seconds) + " seconds...\r\n";
}

std::string move_entry(const fs::path& source, const fs::path& target)
{
    std::error_code ec;
    const auto sourceStatus = fs::symlink_status(source, ec);
    if (! fs::exists(sourceStatus))
        return notFound;

    const std::string moved = fs::is_directory(sourceStatus) ? "        1 dir(s) moved.\r\n"
                                                             : "        1 file(s) moved.\r\n";

    const auto targetStatus = fs::symlink_status(target, ec);
    const bool replacesFolder = fs::is_directory(targetStatus);

    // A missing target, or a file over a file: one rename, which replaces atomically.
    if (! fs::exists(targetStatus) || (! replacesFolder && ! fs::is_directory(sourceStatus)))
    {
        fs::rename(source, target, ec);
        return ec ? error_text(ec) : moved;
    }

    // The same entry under two names: nothing to move.
    if (! fs::is_symlink(sourceStatus) && ! fs::is_symlink(targetStatus) && fs::equivalent(source, target, ec))
        return moved;

    // A folder is involved: park the old entry so that a failed rename can put it back.
    const auto parked = parking_place(target);
    fs::rename(target, parked, ec);
    if (ec)
        return error_text(ec);

    fs::rename(source, target, ec);
    if (ec)
    {
        std::error_code ignored;
        fs::rename(parked, target, ignored);
        return error_text(ec);
    }

    fs::remove_all(parked, ec);
    return moved;
}

std::string remove_folder(const fs::path& folder)
{
    std::error_code ec;
    const auto status = fs::symlink_status(folder, ec);
    if (! fs::exists(status))
        return notFound;

    const bool isFolder = fs::is_symlink(status) ? fs::is_directory(fs::status(folder, ec))
                                                  : fs::is_directory(status);
    if (! isFolder)
        return "The directory name is invalid.\r\n";

    // A link to a folder goes, not what it points at.
    fs::remove_all(folder, ec);
    return ec ? error_text(ec) : std::string();
}

std::string start_program(const fs::path& program, int outputFd)
{
    const int error = start_detached({ program.string() }, outputFd);
    if (error == 0)
        return {};
    if (error == ENOENT || error == ENOTDIR)
        return "'" + program.string() + "' is not recognized as an internal or external command,\r\n"
               "operable program or batch file.\r\n";
    return error_text(error);
}
} // namespace scripthost
