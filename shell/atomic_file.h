// Replacing a file whole: the new contents go to a temporary file in the same folder, are flushed
// to disk and renamed over the old file, so a crash or a full disk never leaves a half-written file.
#pragma once
#include <sys/types.h>

#include <string>

namespace tw {

// Replaces path with bytes. mode: the new file's permissions; -1 keeps the old file's mode (or
// 0666 less the umask for a new file). A symbolic link is followed: its target is replaced.
// Refuses (false, nothing changed) when the existing file is not writable by us or the folder is
// missing. False on any write error; the old file is then untouched and no temporary file remains.
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, int mode = -1);

// Takes an advisory lock on fd (exclusive or shared), trying every 10 ms for at most waitMs. True
// when held; otherwise errno is EWOULDBLOCK when another holder kept it for the whole time.
bool LockFileWithin(int fd, bool exclusive, int waitMs);

// The whole file into out; false when it cannot be opened or read.
bool ReadWholeFile(int fd, std::string& out);

}  // namespace tw
