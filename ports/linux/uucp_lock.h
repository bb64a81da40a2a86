#pragma once
// The lock file other Linux serial programs honour: LCK..<device> in the
// lock folder, holding the owner's process id. It keeps a port reserved
// for a whole run, also while the device is closed for a reopen. One
// process may take the same device's lock several times; the file goes
// with the last release.

#include <string>

namespace rtq {

// The lock folder: RTQFLASH_LOCK_DIR when set, else /run/lock.
std::string PortLockFolder();

// The lock file of a device path (symbolic links resolved first, so that
// every name of one device shares its lock).
std::string PortLockPath(const std::string& devicePath);

// Takes the device's lock for this process; *key names it for the release
// (the device may be gone by then; set also on failure). False with the
// errno in *err when another live process holds it (EBUSY, and its id in
// *owner) or the lock cannot be made. A lock without a valid process id
// (empty, text, negative) that stays so for a short grace, through the
// clock, is taken over like one of a process that is gone. A lock folder this user cannot write leaves the port
// unlocked (true): the exclusive open still protects an open port.
bool AcquirePortLock(const std::string& devicePath, std::string* key, int* err,
                     long* owner = nullptr);

// Gives one acquisition back; the last one removes the file.
void ReleasePortLock(const std::string& key);

}  // namespace rtq
