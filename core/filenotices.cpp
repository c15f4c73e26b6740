#include "core/filenotices.h"

#include <cstdio>
#include <filesystem>
#include <vector>

namespace filenotices {
namespace {

std::vector<std::string>& gathered() {
    static std::vector<std::string> notices;
    return notices;
}

std::function<void(const std::string&)>& teller() {
    static std::function<void(const std::string&)> function;
    return function;
}

} // namespace

void setTeller(std::function<void(const std::string&)> function) {
    teller() = std::move(function);
}

void tell(const std::string& text) {
    if (teller())
        teller()(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

std::string fullPath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(path, error);
    return error ? path : full.lexically_normal().string();
}

void saveFailed(const std::string& path, const std::string& reason) {
    gathered().push_back("Could not save " + fullPath(path) + ": " + reason +
                         ". The file is left as it was before this drill.");
}

void damagedKept(const std::string& path, const std::string& damagedCopy) {
    gathered().push_back("Part of " + fullPath(path) +
                         " could not be read. It was saved with everything that could be read; "
                         "its old contents are kept in " +
                         fullPath(damagedCopy) + ".");
}

std::string take() {
    std::string text;
    for (const std::string& notice : gathered()) {
        if (!text.empty())
            text += "\n\n";
        text += notice;
    }
    gathered().clear();
    return text;
}

} // namespace filenotices
