#include "dialogs/stream_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace quadrel {

namespace fs = std::filesystem;

namespace {

// The path in quotes, built by appending (GCC 12 warns wrongly about "'" + string).
std::string inQuotes(const fs::path& p) {
    std::string s(1, '\'');
    s += p.string();
    s += '\'';
    return s;
}

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// Creates an empty file with a fresh name in `folder`, with the permissions a new file gets there.
bool createTemporaryBeside(const fs::path& target, fs::path& created) {
    static std::mt19937_64 random{std::random_device{}()};
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%016llx", static_cast<unsigned long long>(random()));
        std::string name = ".";
        name += target.filename().string();
        name += suffix;
        const fs::path candidate = folder / name;
        // Exclusive creation never follows or reuses what someone else put under that name.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            created = candidate;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    errno = EEXIST;
    return false;
}

bool syncFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

bool writeObjectFile(const fs::path& path, const TStreamableBase& object, std::string* error) {
    if (path.empty() || path.filename().empty()) {
        setError(error, "No file name was given.");
        return false;
    }
    // Replace the file a link points at, not the link.
    fs::path target = path;
    std::error_code ec;
    if (fs::is_symlink(path, ec)) {
        const fs::path resolved = fs::weakly_canonical(path, ec);
        if (!ec) target = resolved;
    }
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode)) {
        setError(error, inQuotes(path) + " is not a regular file.");
        return false;
    }

    fs::path temporary;
    if (!createTemporaryBeside(target, temporary)) {
        setError(error, "The file " + inQuotes(path) + " cannot be created: " + std::strerror(errno) + ".");
        return false;
    }
    const auto giveUp = [&](const std::string& reason) {
        setError(error, "The file " + inQuotes(path) + " could not be written: " + reason);
        fs::remove(temporary, ec);
        return false;
    };
    {
        ofpstream os(temporary);
        try {
            os.putObject(object);
        } catch (const TXBase& e) {
            os.close();
            return giveUp(e.what());
        }
        if (!os.isGood() || !os.close()) return giveUp("the data could not be written completely.");
    }
    if (!syncFile(temporary)) return giveUp(std::string(std::strerror(errno)) + ".");
    if (existed) ::chmod(temporary.c_str(), old.st_mode & 07777);
    if (::rename(temporary.c_str(), target.c_str()) != 0) return giveUp(std::string(std::strerror(errno)) + ".");
    return true;
}

std::string streamReadMessage(const StreamReadResult& result, const std::string& what) {
    switch (result.status) {
    case StreamReadStatus::Ok:
        return {};
    case StreamReadStatus::CannotOpen:
        return "The file cannot be opened.";
    case StreamReadStatus::Empty:
        return "The file is empty.";
    case StreamReadStatus::Damaged:
        return "The file is damaged or is not a " + what + ".";
    case StreamReadStatus::UnregisteredType:
        return "The file is not a " + what + ": " + result.message + ".";
    }
    return {};
}

fs::path withDefaultExtension(const fs::path& path, const std::string& extension) {
    if (path.empty() || path.has_extension()) return path;
    fs::path out = path;
    out += "." + extension;
    return out;
}

} // namespace quadrel
