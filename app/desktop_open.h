#pragma once

#include <functional>
#include <string>

namespace tilvane {

// What the program asks of the desktop. Nothing here passes through a shell.
enum class DesktopRequest { OpenFolder, ShowItem, OpenDocument };

// Shows the path's folder in the file manager, the file selected when select
// is set. Nothing happens when the path is empty or its folder does not exist.
void openInFileManager(const std::string& path, bool select);

// Opens a document with the program the desktop associates with it.
void openDocument(const std::string& path);

// Replaces the desktop for tests: every request goes to the handler instead.
// An empty handler restores the desktop.
using DesktopHandler = std::function<void(DesktopRequest, const std::string&)>;
void setDesktopHandler(DesktopHandler handler);

}  // namespace tilvane
