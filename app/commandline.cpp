#include "app/commandline.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace {

// The toolkit's own options that a user may reasonably give; those in the
// first list take the next argument as their value. Qt accepts each with
// one dash or two.
constexpr std::array<std::string_view, 11> kToolkitOptionsWithValue = {
    "platform",     "platformpluginpath", "platformtheme", "plugin",     "qwindowgeometry",
    "qwindowtitle", "qwindowicon",        "style",         "stylesheet", "session",
    "display"};
constexpr std::array<std::string_view, 2> kToolkitFlags = {"reverse", "nograb"};

template <size_t N> bool contains(const std::array<std::string_view, N>& list, std::string_view s) {
    for (std::string_view item : list)
        if (item == s)
            return true;
    return false;
}

std::string programName(int argc, const char* const* argv) {
    std::string_view path = argc > 0 && argv[0] ? argv[0] : "tonyx";
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine result;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] ? argv[i] : "";
        if (arg == "-h" || arg == "--help")
            return {CommandLine::Action::Help, {}};
        if (arg == "-v" || arg == "--version")
            return {CommandLine::Action::Version, {}};
        if (arg.size() < 2 || arg[0] != '-')
            return {CommandLine::Action::Error,
                    "unexpected argument '" + std::string(arg) + "' (Tonyx opens no files)"};
        std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
        std::string_view value;
        const size_t equals = name.find('=');
        const bool inlineValue = equals != std::string_view::npos;
        if (inlineValue) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        if (contains(kToolkitFlags, name) && !inlineValue)
            continue;
        if (contains(kToolkitOptionsWithValue, name)) {
            if (inlineValue)
                continue;
            if (i + 1 < argc) {
                ++i; // the option's value
                continue;
            }
            return {CommandLine::Action::Error, "option '" + std::string(arg) + "' needs a value"};
        }
        return {CommandLine::Action::Error, "unknown option '" + std::string(arg) + "'"};
    }
    return result;
}

std::string helpText(const std::string& program) {
    return "Usage: " + program +
           " [options]\n"
           "Ear training for two-note intervals: Tonyx plays two notes and you name\n"
           "the interval from the keyboard.\n"
           "\n"
           "Options:\n"
           "  -h, --help     Show this help and exit.\n"
           "  -v, --version  Show the version and exit.\n"
           "\n"
           "The toolkit's options, such as -platform NAME, -style NAME and -reverse,\n"
           "are passed on to it.\n"
           "\n"
           "Tonyx keeps errors.dat and hiscore.dat in its data folder and reads\n"
           "readme.txt there. Installed, that is ${XDG_DATA_HOME:-~/.local/share}/tonyx,\n"
           "where the user's guide is copied on the first start; run from its build\n"
           "folder, it is the current folder. One Tonyx runs per data folder: starting\n"
           "another brings the running one to the front.\n";
}

std::string versionText() {
    return "Tonyx " TONYX_VERSION "\n";
}

int runCommandLine(int argc, const char* const* argv) {
    const CommandLine line = parseCommandLine(argc, argv);
    switch (line.action) {
    case CommandLine::Action::Run:
        return -1;
    case CommandLine::Action::Help:
        std::fputs(helpText(programName(argc, argv)).c_str(), stdout);
        return 0;
    case CommandLine::Action::Version:
        std::fputs(versionText().c_str(), stdout);
        return 0;
    case CommandLine::Action::Error:
        break;
    }
    const std::string program = programName(argc, argv);
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program.c_str(),
                 line.error.c_str(), program.c_str());
    return 2;
}
