// SPDX-License-Identifier: Apache-2.0
// TfrmStrRes: the holder of the built-in language store. Making it writes each item of the store
// to a file in a language folder; destroying it removes those files and the folder again.
//
// Where the files go: a folder that this copy makes itself with a unique name,
// "<temporary folder>/<program file name>-XXXXXX/" (mkdtemp: private to the user, never a folder
// that was there before), each file named like the program file with its extension replaced by
// ".l" + the item's name (LanguageFileNameFor; "camlift" gives "camlift.len", "camlift.lcn",
// "camlift.lb5"). Every copy of the program has a folder of its own, so a second copy that stops
// at the single-instance guard takes nothing away from the first.
//
// Removal deletes only the files this copy wrote and then the folder with rmdir, which leaves a
// folder alone that someone has put other files into. Nothing else in the temporary folder is
// ever touched: a folder "<temporary folder>/camlift" of the user's stays as it is.
//
// A copy holds a lock on its folder while it runs. A copy that crashed leaves its folder; the
// next copy finds it by its name, sees that it is a private folder of this user that nobody
// holds, and removes the language files in it (only files with exactly the bytes this copy
// writes) and then the folder (rmdir), so crashes do not pile folders up.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
  // The folder the files went to, ending in "/"; empty when no folder could be made.
  const std::string& Folder() const { return folder_; }
  // False when the store could not be read, no folder could be made or a file could not be
  // written (the files before it stay); the program then runs with missing texts.
  bool Unpacked() const { return unpacked_; }
  // Why the files could not be unpacked (UTF-8, English), empty when they were.
  const std::string& Problem() const { return problem_; }

 private:
  void Unpack(std::string_view stored_form);
  bool WriteItems();
  void SweepStaleFolders() const;

  TSkinStore store_;
  std::string temp_dir_;
  std::string program_file_name_;
  std::string folder_;
  std::vector<std::string> written_;
  int lock_fd_ = -1;  // the folder, locked; closed in the destructor
  bool unpacked_ = false;
  std::string problem_;
};

// The text to show when the language files are missing: problem and what it means for the user.
std::string LanguageFilesMissingText(const std::string& problem);

}  // namespace camlift
