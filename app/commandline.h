#pragma once

#include <string>

// What the command line asks for. The program takes two options of its own;
// the toolkit's options (-platform, -style, ...) pass through to it, and
// anything else is refused before a window is made.
struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    // For Error: what was wrong, in one line.
    std::string error;
};

[[nodiscard]] CommandLine parseCommandLine(int argc, const char* const* argv);

// The texts printed for --help and --version; program is the name the
// program was started by.
[[nodiscard]] std::string helpText(const std::string& program);
[[nodiscard]] std::string versionText();

// Runs the command line's own actions: prints help or the version (exit
// code 0) or the error with a hint to stderr (exit code 2). Returns -1 when
// the program should start.
[[nodiscard]] int runCommandLine(int argc, const char* const* argv);
