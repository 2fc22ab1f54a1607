#pragma once

#include <functional>
#include <string>

namespace tilvane {

// What the program asks of the desktop. Nothing here passes through a shell.
enum class DesktopRequest { OpenFolder, ShowItem, OpenDocument };

// Shows the path's folder in the file manager, the file selected when select
// is set. Nothing happens when the path is empty or its folder does not exist.
// False when the desktop could not be asked (no launcher such as xdg-open).
bool openInFileManager(const std::string& path, bool select);

// Opens a document with the program the desktop associates with it; false
// when the desktop could not be asked.
bool openDocument(const std::string& path);

// The message for a request the desktop could not take: what was to be
// opened, its path, and the package that provides the launcher.
std::string desktopFailureText(DesktopRequest request, const std::string& path);

// Replaces the desktop for tests: every request goes to the handler instead,
// whose answer stands for the desktop's. An empty handler restores the desktop.
using DesktopHandler = std::function<bool(DesktopRequest, const std::string&)>;
void setDesktopHandler(DesktopHandler handler);

}  // namespace tilvane
