// SPDX-License-Identifier: Apache-2.0
// One running copy per user and desktop: a lock that the first copy holds for its whole life.
// The lock is an advisory lock on a file, so it ends with the process however the process ends.
//
// The lock file and the activation channel (the local socket through which a second copy asks
// the first to come to the front) live together in the user's private runtime folder:
// $XDG_RUNTIME_DIR when it is a private folder of ours (not a link), else
// "<temporary folder>/camlift-<uid>/", made private and checked (a folder that is a link,
// belongs to another user or lets others in is not used).
//
// A lock that cannot be set up (no usable folder, a file that cannot be opened or locked) never
// keeps the program from starting: the copy then runs as the first one, only without the guard.
#pragma once

#include <string>

namespace camlift {

class TSingleInstance {
 public:
  // name: the instance name (e.g. "IP Camera Camlift").
  explicit TSingleInstance(const std::string& name);
  ~TSingleInstance();
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  // False only when another copy holds the lock.
  bool IsFirst() const { return first_; }
  // True when this copy holds the lock; false when the guard could not be set up (see Problem).
  bool Guarded() const { return guarded_; }
  // Why the guard could not be set up (English), empty when it works.
  const std::string& Problem() const { return problem_; }
  // Full path of the activation channel (a local socket in the runtime folder); empty without a
  // usable folder.
  const std::string& ChannelName() const { return channel_; }
  const std::string& LockPath() const { return lock_path_; }

 private:
  int fd_ = -1;
  bool first_ = true;
  bool guarded_ = false;
  std::string lock_path_;
  std::string channel_;
  std::string problem_;
};

// The runtime folder as described above, with a trailing "/", created when the fallback is
// needed; empty when neither is usable.
std::string PrivateRuntimeFolder();
// True for a real folder (not a link) owned by this user that no other user may enter.
bool IsPrivateFolder(const std::string& path);
// Removes a socket left at path by a copy that has ended (the caller holds the lock). Anything
// else there (a file, a folder, a link, another user's socket) stays. True when nothing is left.
bool RemoveStaleChannel(const std::string& path);

}  // namespace camlift
