#include "shell/logging.h"

#include <cstdlib>
#include <filesystem>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>

namespace quadrel {

std::string logFolder() {
    namespace fs = std::filesystem;
    fs::path base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        base = state;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".local" / "state";
    else
        base = fs::temp_directory_path();
    return (base / "Norvane" / "logs").string();
}

bool setupLogging(std::string& error) {
    const std::string folder = logFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = "cannot create the log folder " + folder + ": " + ec.message();
        return false;
    }
    try {
        auto logger = spdlog::rotating_logger_mt("quadrel", folder + "/quadrel.log", 5242880, 3, false);
        spdlog::set_default_logger(logger);
        spdlog::flush_on(spdlog::level::warn);
    } catch (const spdlog::spdlog_ex& e) {
        error = e.what();
        return false;
    }
    return true;
}

} // namespace quadrel
