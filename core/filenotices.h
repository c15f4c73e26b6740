#pragma once

#include <functional>
#include <string>

// What went wrong with the files the program keeps, gathered while a drill
// ends so that the user is told once, in one message, after the score
// window is up. Only the GUI thread uses it.
namespace filenotices {

// A rewrite that failed: the file, the system's reason, and that the old
// file stands.
void saveFailed(const std::string& path, const std::string& reason);
// A file rewritten without the parts that could not be read, whose old
// contents were kept in `damagedCopy` first.
void damagedKept(const std::string& path, const std::string& damagedCopy);

// Everything gathered since the last call, one paragraph per file, and
// empties the list; "" when all went well.
[[nodiscard]] std::string take();

// How the gathered notices reach the user: the application sets its message
// box here (tests a recorder); with none set they go to stderr.
void setTeller(std::function<void(const std::string&)> teller);
void tell(const std::string& text);

// `path` from the root of the file system, for telling the user where.
[[nodiscard]] std::string fullPath(const std::string& path);

} // namespace filenotices
