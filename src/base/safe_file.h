// The one way the program writes a file: the bytes go to a new temporary file in the target's
// folder (a unique name created with O_EXCL, so it can never be an existing file), which is
// flushed to the disc and then renamed over the target; the folder is flushed too. On any
// failure the temporary file is removed and the target is left exactly as it was, so a failed
// save never destroys what the user had. Every writer of the program goes through here.
#pragma once

#include <functional>
#include <string>

#include "base/result_codes.h"
#include "base/stream.h"

namespace vt {

// A target that must not be written: the file being read, a folder, a device or a FIFO.
class ESaveRefused : public EWriteError {
 public:
  using EWriteError::EWriteError;
};

// Writes target through write(stream). protectedFile (optional) is the file the data is read
// from: a target that is that file (under any name or link) is refused with ESaveRefused.
// A target that is a symbolic link is written through: its final target is replaced.
// System failures raise EOSError with errno and a message that names the file; an exception of
// write itself propagates unchanged. Either way nothing is left behind.
void SaveFileSafely(const std::string& target, const std::function<void(TStream&)>& write,
                    const std::string& protectedFile = std::string());

// True when a and b name the same existing file (same device and inode).
bool SameFile(const std::string& a, const std::string& b);

// The prefix of the temporary files SaveFileSafely makes beside a target named NAME:
// ".NAME." followed by six random characters and ".tmp". Tests look for leftovers with it.
std::string SafeTempPrefix(const std::string& target);

}  // namespace vt
