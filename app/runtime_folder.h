#pragma once
// The user's runtime folder (XDG_RUNTIME_DIR) holds the single-instance
// lock file and local socket. Where the session sets none, the program
// makes a private one itself before the toolkit starts, so that the
// toolkit neither warns nor picks a folder of its own.

#include <string>

#include <sys/types.h>

namespace rtq {

// A private runtime folder under base for user uid: base/rtqflash-runtime-UID,
// created with mode 0700 if missing and used only when it is a real folder
// (not a link) of that user with mode 0700. Anything else there may belong
// to someone else and is left alone: a fresh base/rtqflash-runtime-UID-XXXXXX
// is made instead. Empty when no folder could be made.
std::string MakePrivateRuntimeFolder(const std::string& base, uid_t uid);

// Leaves a set XDG_RUNTIME_DIR alone; otherwise sets it to a private
// folder under TMPDIR (default /tmp). Call before QApplication exists.
void EnsureRuntimeFolder();

}  // namespace rtq
