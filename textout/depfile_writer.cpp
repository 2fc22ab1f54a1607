#include "textout/depfile_writer.h"

#include <set>

namespace tilvane {

namespace {

constexpr std::string_view kNotReadBack = "\"&'*;<>?^`|=%";

}  // namespace

std::optional<std::string> depfileNameProblem(std::string_view path) {
    if (path.empty()) return std::string("it is empty");
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (byte < 0x20 || byte == 0x7F) return std::string("it holds a control character");
        if (kNotReadBack.find(path[i]) != std::string_view::npos) {
            return std::string("it holds the character ") + path[i];
        }
        if (path[i] == '\\' && i + 1 < path.size() && path[i + 1] == '$') {
            return std::string("it holds a \\ right before a $");
        }
    }
    if (path.back() == ':' || path.back() == '\\') {
        return std::string("it ends in ") + path.back();
    }
    return std::nullopt;
}

std::string escapeDepfileName(std::string_view path) {
    std::string escaped;
    escaped.reserve(path.size() + 8);
    std::size_t backslashes = 0;
    for (const char c : path) {
        if (c == ' ') {
            // 2N+1 backslashes and a space read back as N and the space.
            escaped.append(backslashes + 1, '\\');
        } else if (c == '#' || c == ':') {
            escaped.push_back('\\');
        } else if (c == '$') {
            escaped.push_back('$');
        }
        escaped.push_back(c);
        backslashes = c == '\\' ? backslashes + 1 : 0;
    }
    return escaped;
}

std::string formatDepfile(const std::vector<std::string>& targets,
                          const std::vector<std::string>& prerequisites) {
    std::string text;
    std::set<std::string> seen;
    for (const std::string& target : targets) {
        if (!seen.insert(target).second) continue;
        if (!text.empty()) text += ' ';
        text += escapeDepfileName(target);
    }
    text += ':';
    std::vector<std::string> listed;
    seen.clear();
    for (const std::string& prerequisite : prerequisites) {
        if (!seen.insert(prerequisite).second) continue;
        listed.push_back(escapeDepfileName(prerequisite));
        text += " \\\n  " + listed.back();
    }
    text += '\n';
    for (const std::string& name : listed) text += '\n' + name + ":\n";
    return text;
}

}  // namespace tilvane
