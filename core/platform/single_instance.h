// One running copy per user and desktop: a lock that the first copy holds for its whole life.
// The lock is an advisory lock on a file, so it ends with the process however the process ends.
#pragma once

#include <string>

namespace camlift {

class TSingleInstance {
 public:
  // name: the instance name (e.g. "IP Camera Camlift"); the lock lives in $XDG_RUNTIME_DIR, else
  // in a folder of the temporary folder that only this user may enter.
  explicit TSingleInstance(const std::string& name);
  ~TSingleInstance();
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  // True when this copy holds the lock (it is the only one).
  bool IsFirst() const { return first_; }
  // A name derived from the instance name and the user, for the channel through which a second
  // copy asks the first to come to the front.
  const std::string& ChannelName() const { return channel_; }
  const std::string& LockPath() const { return lock_path_; }

 private:
  int fd_ = -1;
  bool first_ = false;
  std::string lock_path_;
  std::string channel_;
};

}  // namespace camlift
