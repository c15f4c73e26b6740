#pragma once

#include <stdexcept>
#include <string>

// The program's base exception: a message for the user and nothing else.
// Whatever escapes an event handler is shown in a message box by the
// application (see app/application.h); at start-up it ends the program.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    [[nodiscard]] std::string message() const { return what(); }
};
