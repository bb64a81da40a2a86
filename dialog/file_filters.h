#pragma once
// The Browse button's file filter for a download type.

#include <string>

struct FileFilter {
    const char* description;  // "IPL Program Files"
    const char* extension;    // "ipl"
};

// The key of a download-type text: the text up to its first space, or its
// first character when it has no space.
std::string DownloadTypeKey(const std::string& typeText);

// The filter for a download-type text (its key, ASCII case-insensitive);
// nullptr for a type that takes no file.
const FileFilter* FileFilterOfType(const std::string& typeText);
