#pragma once
// Message boxes of the Windows front end: one OK button, the application
// name as caption. Free of <windows.h>, so that code next to the core's
// own handle types can use it.

#include <string>

enum class BoxKind { Information, Warning, Stop };

// The executable's base name ("rtqflash").
std::string ApplicationName();

// A box owned by the window owner (none if null or hidden), waiting for
// OK. The hint, if any, stands under the text. While boxes are suppressed
// the text goes to stderr instead.
void ShowMessageBox(void* owner, const std::string& text, BoxKind kind, const std::string& hint = {});
void SuppressMessageBoxes(bool suppress);
// Closes the message boxes this thread shows now.
void CloseMessageBoxes();
