// SPDX-License-Identifier: Apache-2.0
#include "util/tools.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/paths.h"
#include "util/base64.h"
#include "util/curl_transfer.h"

namespace fs = std::filesystem;

namespace camlift {
namespace {

struct PageSink {
  std::string* text;
  bool full = false;
};

std::size_t CollectPage(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<PageSink*>(user);
  const std::size_t bytes = size * count;
  const std::size_t room = TTools::kMaxPageBytes - sink->text->size();
  if (bytes > room) {
    sink->text->append(data, room);
    sink->full = true;
    return 0;  // stops the transfer; what arrived up to the cap is the page
  }
  sink->text->append(data, bytes);
  return bytes;
}

std::string WithSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

std::vector<fs::directory_entry> SortedEntries(const std::string& folder) {
  std::vector<fs::directory_entry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    entries.push_back(*it);
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  return entries;
}

std::int64_t ModifiedSeconds(const fs::directory_entry& entry) {
  struct stat info {};
  if (::stat(entry.path().c_str(), &info) != 0) return 0;
  return static_cast<std::int64_t>(info.st_mtime);
}

}  // namespace

bool TTools::HttpGetText(const std::string& url, std::string& text, int timeout_ms,
                         const std::string& user, const std::string& password) {
  text.clear();
  CurlEasy easy = MakeCurlEasy();
  if (!easy) return false;
  CURL* h = easy.get();
  CurlHeaders headers;
  // A browser's reload: never an answer from a cache on the way.
  AppendHeader(headers, "Cache-Control: no-cache");
  AppendHeader(headers, "Pragma: no-cache");
  if (!user.empty() && !password.empty()) {
    // Header values must never hold CR LF, so the credentials are encoded on one line.
    AppendHeader(headers, "Authorization: Basic " + Base64EncodeOneLine(user + ":" + password));
  }
  std::string body;
  PageSink sink{&body};
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_USERAGENT, "MyIP");
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout_ms));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, CollectPage);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
  TransferControl control;
  control.idle_timeout_ms = timeout_ms;
  const TransferResult result = PerformTransfer(h, control);
  const bool capped = sink.full && result.code == CURLE_WRITE_ERROR;
  if (!result.ok() && !capped) return false;
  if (result.status == 0) return false;
  text.assign(body.data(), std::min(body.size(), body.find('\0')));
  return true;
}

std::string TTools::ModuleFileName() { return ExecutablePath(); }

std::string TTools::ModulePath() { return ProgramFolder(); }

std::string TTools::SpecialFolderPath(int csidl, bool create) {
  constexpr int kAppData = 26;
  if (csidl != kAppData) return {};
  std::string path = UserConfigHome();
  if (path.empty()) return {};
  path = WithSlash(path);
  // Made only when asked: a program that only reads (camlift paths) leaves no folder behind.
  if (create) ForceDirs(path);
  return path;
}

std::string TTools::ProgramDataFolder(int csidl, bool create) {
  std::string path = SpecialFolderPath(csidl, false);
  if (path.empty()) return {};
  std::string name = ModuleFileName();
  if (const auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
  path += name;
  if (path.size() > 4 && path[path.size() - 4] == '.') path.resize(path.size() - 4);
  // Linux program files have no extension: the folder still gets its separator, so that callers
  // can append file names to it.
  path = WithSlash(path);
  if (create) ForceDirs(path);
  return path;
}

std::string TTools::GetTempDir() { return TempFolder(); }

bool TTools::ForceDirs(const std::string& path) {
  if (path.empty()) return true;
  std::error_code ec;
  if (fs::is_directory(path, ec)) return true;
  fs::create_directories(path, ec);
  return fs::is_directory(path, ec);
}

bool TTools::DeleteDir(const std::string& path, bool remove_self) {
  if (path.empty()) return true;
  std::error_code ec;
  const std::string base = WithSlash(path);
  for (const auto& entry : SortedEntries(base)) {
    // Folders without write permission would keep their contents; give it back first.
    if (entry.is_directory(ec) && !entry.is_symlink(ec)) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
      DeleteDir(entry.path().string(), true);
    } else {
      fs::remove(entry.path(), ec);
    }
  }
  if (remove_self) fs::remove(base, ec);
  return true;
}

void TTools::FindFiles(TFoundFiles& list, const std::string& folder, const std::string& masks,
                       bool recurse, const std::function<bool()>& can_descend, bool no_duplicates) {
  if (folder.empty()) return;
  const std::string base = WithSlash(folder);
  std::vector<std::string> patterns;
  SplitText(masks, masks.find(';') != std::string::npos ? ";" : "|", patterns);
  const auto entries = SortedEntries(base);
  std::error_code ec;
  for (const std::string& pattern : patterns) {
    for (const auto& entry : entries) {
      if (entry.is_directory(ec)) continue;
      const std::string leaf = entry.path().filename().string();
      if (fnmatch(pattern.c_str(), leaf.c_str(), 0) != 0) continue;
      std::string name = base + leaf;
      if (no_duplicates && std::any_of(list.begin(), list.end(),
                                       [&](const TFoundFile& f) { return f.name == name; })) {
        continue;
      }
      list.push_back({std::move(name), ModifiedSeconds(entry)});
    }
  }
  if (!recurse) return;
  if (can_descend && !can_descend()) return;
  for (const auto& entry : entries) {
    if (entry.is_directory(ec) && !entry.is_symlink(ec)) {
      FindFiles(list, base + entry.path().filename().string(), masks, recurse, nullptr, true);
    }
  }
}

void TTools::SplitText(const std::string& text, const std::string& separator,
                       std::vector<std::string>& list) {
  if (text.empty()) {
    list.emplace_back();
    return;
  }
  if (separator.empty()) {
    list.push_back(text);
    return;
  }
  std::size_t start = 0;
  for (std::size_t hit; (hit = text.find(separator, start)) != std::string::npos;) {
    list.push_back(text.substr(start, hit - start));
    start = hit + separator.size();
  }
  list.push_back(text.substr(start));
}

}  // namespace camlift
