// TfrmStrRes: the holder of the built-in language store. Making it writes each item of the store
// to a file in the language folder; destroying it removes that folder again, unless another copy
// of the program still uses it.
//
// Where the files go: the temporary folder + the program file's name + "/", each file named
// like the program file with its extension replaced by ".l" + the item's name
// (LanguageFileNameFor; "camlift" gives "camlift.len", "camlift.lcn", "camlift.lb5").
//
// Copies sharing the folder: every copy of the program unpacks into the same folder, and a second
// copy that stops at the single-instance guard must not take the files away from the first. Each
// copy therefore holds a shared lock on "<temporary folder>/<program file name>.lock" for as long
// as it lives; unpacking and the decision to remove run under an exclusive lock on another byte
// of that file. A copy removes the folder only when no other copy holds the shared lock. Locks
// end with their process, so a crashed copy never keeps the folder alive. Files are written to a
// temporary name and renamed into place, so a copy reading a file never sees it half written.
//
// A folder that is not safe to use (a symbolic link, not a folder, owned by another user, or a
// lock file that cannot be opened as ours) is not touched: the copy then unpacks into a private
// folder "<temporary folder>/<program file name>-XXXXXX/" of its own and removes it at the end.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "i18n/skin_store.h"

namespace camlift {

class TfrmStrRes {
 public:
  // The built-in store, the platform's temporary folder and the running program's file name.
  TfrmStrRes();
  // Any stored form, temporary folder (ending in "/") and program file name (tests, tools).
  TfrmStrRes(std::string_view stored_form, std::string temp_dir, std::string program_file_name);
  ~TfrmStrRes();
  TfrmStrRes(const TfrmStrRes&) = delete;
  TfrmStrRes& operator=(const TfrmStrRes&) = delete;

  const TSkinStore& SkinStore1() const { return store_; }
  // The folder the files went to, ending in "/".
  const std::string& Folder() const { return folder_; }
  // False when the store could not be read or a file could not be written (the files before it
  // stay); the program goes on without the missing files.
  bool Unpacked() const { return unpacked_; }
  // True when the shared folder was not usable and a private one was made instead.
  bool UsesPrivateFolder() const { return private_folder_; }

 private:
  void Unpack(std::string_view stored_form);
  bool WriteItems();

  TSkinStore store_;
  std::string temp_dir_;
  std::string program_file_name_;
  std::string folder_;
  class TFolderLock;
  std::unique_ptr<TFolderLock> lock_;
  bool private_folder_ = false;
  bool unpacked_ = false;
};

}  // namespace camlift
