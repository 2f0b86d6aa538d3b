// SPDX-License-Identifier: Apache-2.0
#include "sim_repository.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "pk2_builder.h"
#include "sim_digest.h"
#include "sim_timing.h"
#include "util/sha256.h"
#include "util/text.h"

namespace fs = std::filesystem;

namespace camlift::sim {
namespace {

constexpr const char* kCatalogueName = "firmware.txt";

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// A folder or file name that stays inside its parent.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos && name.find('\0') == std::string::npos;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

struct ZipDiscard {
  void operator()(zip_t* z) const { zip_discard(z); }
};
using ZipHandle = std::unique_ptr<zip_t, ZipDiscard>;

// Writes a ZIP archive at path with the given entries (name, bytes). Used for the archives of
// "repo add" (from a file on disk, see below) and for the fault archives.
bool WriteZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& entries, std::string& error) {
  int code = 0;
  ZipHandle zip(zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
  if (!zip) {
    error = "cannot create the archive " + path;
    return false;
  }
  for (const auto& [name, bytes] : entries) {
    zip_source_t* source = zip_source_buffer(zip.get(), bytes.data(), bytes.size(), 0);
    if (!source || zip_file_add(zip.get(), name.c_str(), source, ZIP_FL_OVERWRITE) < 0) {
      if (source) zip_source_free(source);
      error = "cannot add " + name + " to " + path;
      return false;
    }
  }
  // zip_close reads the buffers, which must outlive it: entries is still alive here.
  if (zip_close(zip.get()) != 0) {
    error = std::string("cannot write the archive: ") + zip_strerror(zip.get());
    return false;
  }
  zip.release();
  return true;
}

bool ZipOneFile(const std::string& archive, const std::string& entry, const std::string& file,
                bool stored, std::string& error) {
  int code = 0;
  ZipHandle zip(zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
  if (!zip) {
    error = "cannot create the archive " + archive;
    return false;
  }
  zip_source_t* source = zip_source_file(zip.get(), file.c_str(), 0, -1);
  if (!source) {
    error = "cannot read " + file;
    return false;
  }
  const zip_int64_t index = zip_file_add(zip.get(), entry.c_str(), source, ZIP_FL_OVERWRITE);
  if (index < 0) {
    zip_source_free(source);
    error = "cannot add " + entry;
    return false;
  }
  if (stored)
    zip_set_file_compression(zip.get(), static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
  if (zip_close(zip.get()) != 0) {
    error = std::string("cannot write the archive: ") + zip_strerror(zip.get());
    return false;
  }
  zip.release();
  return true;
}

std::string KeyFor(TFirmwareKind kind, bool file) {
  if (kind == TFirmwareKind::System) return file ? "SysFile" : "SysVer";
  return file ? "AppFile" : "AppVer";
}

// Splits an INI text into lines without their line ends.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::optional<std::string> SectionName(const std::string& line) {
  const std::string t = Trim(line);
  if (t.size() >= 2 && t.front() == '[' && t.back() == ']') return Trim(t.substr(1, t.size() - 2));
  return std::nullopt;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) out += line + "\r\n";
  return out;
}

}  // namespace

std::string ArchiveEntryName(const std::string& archive_name, TSimSeries series) {
  const std::string ext =
      ProfileOf(series).delivery == TSimDelivery::CommandService ? ".pk2" : ".bin";
  return (archive_name.size() >= 4 ? archive_name.substr(0, archive_name.size() - 4) : "") + ext;
}

std::string SetIniValue(const std::string& ini, const std::string& section, const std::string& key,
                        const std::string& value) {
  std::vector<std::string> lines = Lines(ini);
  const std::string wanted = LowerAscii(section);
  std::size_t start = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (auto name = SectionName(lines[i]); name && LowerAscii(*name) == wanted) {
      start = i;
      break;
    }
  }
  if (start == lines.size()) {
    while (!lines.empty() && Trim(lines.back()).empty()) lines.pop_back();
    if (!lines.empty()) lines.push_back("");
    lines.push_back("[" + section + "]");
    lines.push_back(key + "=" + value);
    return Join(lines);
  }
  std::size_t end = start + 1;
  while (end < lines.size() && !SectionName(lines[end])) ++end;
  for (std::size_t i = start + 1; i < end; ++i) {
    const auto eq = lines[i].find('=');
    if (eq != std::string::npos && LowerAscii(Trim(lines[i].substr(0, eq))) == LowerAscii(key)) {
      lines[i] = key + "=" + value;
      return Join(lines);
    }
  }
  // After the last non-empty line of the section.
  std::size_t at = end;
  while (at > start + 1 && Trim(lines[at - 1]).empty()) --at;
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), key + "=" + value);
  return Join(lines);
}

std::optional<std::string> GetIniValue(const std::string& ini, const std::string& section,
                                       const std::string& key) {
  bool inside = false;
  for (const auto& line : Lines(ini)) {
    if (auto name = SectionName(line)) {
      inside = LowerAscii(*name) == LowerAscii(section);
      continue;
    }
    if (!inside) continue;
    const auto eq = line.find('=');
    if (eq != std::string::npos && LowerAscii(Trim(line.substr(0, eq))) == LowerAscii(key)) {
      return Trim(line.substr(eq + 1));
    }
  }
  return std::nullopt;
}

std::vector<std::string> IniSections(const std::string& ini) {
  std::vector<std::string> out;
  for (const auto& line : Lines(ini)) {
    if (auto name = SectionName(line)) out.push_back(*name);
  }
  return out;
}

bool RepoAdd(const TRepoAddOptions& options, TRepoAddResult& result, std::string& error) {
  const std::string folder = LowerAscii(Trim(options.folder));
  if (!IsPlainName(folder)) {
    error = "the folder must be one plain name (\"system\" or the OEM text)";
    return false;
  }
  if (options.section.empty() || options.section.find_first_of("[]\r\n") != std::string::npos) {
    error = "the section must be a non-empty name without brackets or line breaks";
    return false;
  }
  if (options.root.empty()) {
    error = "the repository root is missing";
    return false;
  }
  const std::string archive_name = options.archive_name.empty()
                                       ? "fw_" + SeriesText(options.series) + "_" +
                                             KindText(options.kind) + "_" + options.version + ".zip"
                                       : options.archive_name;
  if (!IsPlainName(archive_name) || archive_name.size() <= 4) {
    error = "the archive name must be a plain file name such as fw_2.0.0.1.zip";
    return false;
  }
  std::error_code ec;
  const fs::path folder_path = fs::path(options.root) / folder;
  fs::create_directories(folder_path, ec);
  if (ec) {
    error = "cannot create " + folder_path.string() + ": " + ec.message();
    return false;
  }
  const std::string entry = ArchiveEntryName(archive_name, options.series);
  const fs::path firmware = folder_path / ("." + entry + ".tmp");
  const TSimFirmwareInfo info{options.series, options.kind, options.version};
  const bool written = ProfileOf(options.series).delivery == TSimDelivery::CommandService
                           ? WriteSimPackage(firmware.string(), info, options.size, error)
                           : WriteSimFirmware(firmware.string(), info, options.size, error);
  if (!written) {
    return false;
  }
  const fs::path archive = folder_path / archive_name;
  const bool zipped = ZipOneFile(archive.string(), entry, firmware.string(), options.stored, error);
  fs::remove(firmware, ec);
  if (!zipped) return false;
  const auto md5 = Md5OfFile(archive.string());
  if (!md5) {
    error = "cannot read back " + archive.string();
    return false;
  }
  const fs::path catalogue = folder_path / kCatalogueName;
  std::string ini = ReadWholeFile(catalogue.string()).value_or("");
  ini = SetIniValue(ini, options.section, KeyFor(options.kind, false), options.version);
  ini = SetIniValue(ini, options.section, "MD5", *md5);
  ini = SetIniValue(ini, options.section, "NO", options.excluded);
  ini = SetIniValue(ini, options.section, KeyFor(options.kind, true), archive_name);
  const std::string sha256 = FileSha256Hex(archive.string()).value_or("");
  if (options.sha256) ini = SetIniValue(ini, options.section, "SHA256", sha256);
  if (!WriteWholeFile(catalogue.string(), ini)) {
    error = "cannot write " + catalogue.string();
    return false;
  }
  result = {folder_path.string(), archive.string(), entry, *md5, catalogue.string(), sha256};
  return true;
}

TSimRepository::TSimRepository(TRepoConfig config, std::shared_ptr<TSimRecorder> recorder,
                               bool allow_wildcard)
    : config_(std::move(config)),
      recorder_(recorder ? std::move(recorder) : std::make_shared<TSimRecorder>()),
      allow_wildcard_(allow_wildcard) {}

TSimRepository::~TSimRepository() { Stop(); }

void TSimRepository::Start() {
  if (IsWildcardAddress(config_.ip) && !allow_wildcard_) {
    throw std::runtime_error("repository: refusing the wildcard address \"" + config_.ip + "\"");
  }
  if (config_.has(TRepoFault::Down)) return;
  if (!fs::is_directory(config_.root)) {
    throw std::runtime_error("repository root " + config_.root + " is not a folder");
  }
  TSslContext tls;
  if (!config_.tls_dir.empty()) {
    tls = MakeTestTlsContext(config_.tls_dir,
                             config_.tls_name.empty() ? config_.ip : config_.tls_name);
  }
  listener_ = std::make_unique<TSimListener>(
      config_.ip, config_.port,
      [this, tls](TSimHttpServer& server) {
        if (tls) server.SetTls(tls);
        Setup(server);
      },
      allow_wildcard_);
}

void TSimRepository::Stop() {
  if (listener_) listener_->Stop();
}

int TSimRepository::port() const { return listener_ ? listener_->port() : config_.port; }

std::string TSimRepository::BaseUrl() const {
  const std::string scheme = config_.tls_dir.empty() ? "http://" : "https://";
  return scheme + config_.ip + ":" + std::to_string(port()) + "/FM/";
}

std::optional<std::string> TSimRepository::ServedArchive(const std::string& path,
                                                         const std::string& name) {
  const bool damaged = config_.has(TRepoFault::Truncated) || config_.has(TRepoFault::NotZip) ||
                       config_.has(TRepoFault::EvilEntry);
  if (!damaged) return std::nullopt;
  std::error_code ec;
  const auto stamp = fs::last_write_time(path, ec).time_since_epoch().count();
  const std::string key = path + "@" + std::to_string(stamp);
  {
    std::lock_guard lock(cache_mutex_);
    if (auto it = cache_.find(key); it != cache_.end()) return it->second;
  }
  auto original = ReadWholeFile(path);
  if (!original) return std::nullopt;
  std::string served;
  if (config_.has(TRepoFault::EvilEntry)) {
    // The real entry stays, so an unpacker that just skips the bad name still finds its file;
    // the point is whether anything lands outside the target folder.
    std::string entry_bytes;
    std::string error;
    std::vector<std::pair<std::string, std::string>> entries;
    {
      int code = 0;
      ZipHandle zip(zip_open(path.c_str(), ZIP_RDONLY, &code));
      if (zip && zip_get_num_entries(zip.get(), 0) > 0) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(zip.get(), 0, 0, &st) == 0) {
          std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> file(zip_fopen_index(zip.get(), 0, 0),
                                                                 zip_fclose);
          if (file) {
            entry_bytes.resize(st.size);
            zip_fread(file.get(), entry_bytes.data(), st.size);
            entries.emplace_back(st.name, entry_bytes);
          }
        }
      }
    }
    entries.emplace_back("../evil.bin", "written outside the unpack folder\n");
    const std::string temp = path + ".evil.tmp";
    if (!WriteZip(temp, entries, error)) return std::nullopt;
    served = ReadWholeFile(temp).value_or("");
    fs::remove(temp, ec);
  } else if (config_.has(TRepoFault::NotZip)) {
    const std::string text = "This is not a ZIP archive: " + name + "\n";
    while (served.size() < std::max<std::size_t>(original->size(), text.size())) served += text;
  } else {
    served = original->substr(0, original->size() / 2);
  }
  std::lock_guard lock(cache_mutex_);
  cache_[key] = served;
  return served;
}

std::string TSimRepository::ServedCatalogue(const std::string& folder_path, std::string text) {
  for (const auto& section : IniSections(text)) {
    auto md5 = GetIniValue(text, section, "MD5");
    if (!md5) continue;
    if (config_.has(TRepoFault::WrongMd5)) {
      // Still 32 hex digits, so only the comparison fails.
      text = SetIniValue(text, section, "MD5",
                         Md5Hex(std::span<const char>(md5->data(), md5->size())));
      continue;
    }
    for (const char* key : {"SysFile", "AppFile"}) {
      const auto file = GetIniValue(text, section, key);
      if (!file || !IsPlainName(*file)) continue;
      if (auto served = ServedArchive((fs::path(folder_path) / *file).string(), *file)) {
        text = SetIniValue(text, section, "MD5",
                           Md5Hex(std::span<const char>(served->data(), served->size())));
      }
    }
  }
  return text;
}

std::optional<std::string> TSimRepository::ReplaySource(const std::string& folder) const {
  std::vector<std::string> signed_folders;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(config_.root, ec)) {
    const std::string name = entry.path().filename().string();
    if (name != folder && fs::is_regular_file(entry.path() / "firmware.txt.sig", ec)) {
      signed_folders.push_back(name);
    }
  }
  if (signed_folders.empty()) return std::nullopt;
  return *std::min_element(signed_folders.begin(), signed_folders.end());
}

void TSimRepository::Trickle(httplib::Response& res, std::string bytes,
                             const std::string& content_type, TSimHttpServer& server) {
  auto body = std::make_shared<std::string>(std::move(bytes));
  TSimHttpServer* owner = &server;
  res.set_content_provider(
      body->size(), content_type,
      [body, owner](std::size_t offset, std::size_t, httplib::DataSink& sink) {
        if (offset >= body->size()) return false;
        sink.write(body->data() + offset, 1);
        // Then nothing for a while, but never long enough for a stall timer of 30 s to fire.
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::milliseconds(Millis(SimWait::SlowRepositoryByte));
        while (!owner->stopping().load() && std::chrono::steady_clock::now() < until) {
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return !owner->stopping().load();
      });
}

void TSimRepository::Setup(TSimHttpServer& server) {
  server.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
    TConnectionContext* context = CurrentConnection();
    nlohmann::json entry{{"role", "repository"},
                         {"address", config_.ip},
                         {"port", context ? context->listen_port : port()},
                         {"peer", req.remote_addr + ":" + std::to_string(req.remote_port)},
                         {"method", req.method},
                         {"target", req.target},
                         {"version", req.version},
                         {"headers", nlohmann::json::array()},
                         {"head", context ? context->head : std::string()},
                         {"status", res.status}};
    for (const auto& [name, value] : req.headers) {
      // httplib's pseudo headers with the connection's addresses did not come from the client.
      if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
          name == "LOCAL_PORT") {
        continue;
      }
      entry["headers"].push_back({name, value});
    }
    recorder_->Append(std::move(entry));
  });
  server.Get("/FM/(.*)", [this, &server](const httplib::Request& req, httplib::Response& res) {
    if (config_.has(TRepoFault::RedirectHttp)) {
      res.status = 302;
      res.set_header("Location",
                     "http://" + config_.ip + ":" + std::to_string(port()) + req.target);
      return;
    }
    // Every piece of the path must be a plain name: nothing outside the root is ever served.
    std::vector<std::string> pieces;
    std::string rest = req.matches[1];
    std::size_t start = 0;
    while (start <= rest.size()) {
      const std::size_t slash = rest.find('/', start);
      pieces.push_back(
          rest.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
      if (slash == std::string::npos) break;
      start = slash + 1;
    }
    for (const auto& piece : pieces) {
      if (!IsPlainName(piece)) {
        res.status = 404;
        return;
      }
    }
    // replayed-signature: a folder is served from another one whose catalogue is signed, as a
    // mirror that copied the wrong folder (or an attacker who replays it) would.
    if (config_.has(TRepoFault::ReplayedSignature) && pieces.size() == 2) {
      if (const auto source = ReplaySource(pieces[0])) pieces[0] = *source;
    }
    fs::path path = config_.root;
    for (const auto& piece : pieces) path /= piece;
    const std::string name = pieces.back();
    const bool catalogue = LowerAscii(name) == kCatalogueName;
    const bool signature = LowerAscii(name) == std::string(kCatalogueName) + ".sig";
    if (signature && config_.has(TRepoFault::SignatureClose)) {
      if (TConnectionContext* context = CurrentConnection()) {
        context->abort = true;
        ::shutdown(context->fd, SHUT_RDWR);
      }
      return;
    }
    if (signature && config_.has(TRepoFault::Signature500)) {
      res.status = 500;
      res.set_content("Internal Server Error\n", "text/plain");
      return;
    }
    if (!fs::is_regular_file(path)) {
      res.status = 404;
      res.set_content("Not Found\n", "text/plain");
      return;
    }
    if (catalogue) {
      if (config_.has(TRepoFault::Catalog404) || config_.has(TRepoFault::Catalog500)) {
        res.status = config_.has(TRepoFault::Catalog404) ? 404 : 500;
        res.set_content(res.status == 404 ? "Not Found\n" : "Internal Server Error\n",
                        "text/plain");
        return;
      }
      const std::string text = ReadWholeFile(path.string()).value_or("");
      std::string served = ServedCatalogue(path.parent_path().string(), text);
      if (config_.has(TRepoFault::SlowCatalogue)) {
        Trickle(res, std::move(served), "text/plain", server);
      } else {
        res.set_content(served, "text/plain");
      }
      return;
    }
    if (signature && config_.has(TRepoFault::SlowSignature)) {
      Trickle(res, ReadWholeFile(path.string()).value_or(""), "application/octet-stream", server);
      return;
    }
    if (!signature &&
        (config_.has(TRepoFault::Archive404) || config_.has(TRepoFault::Archive500))) {
      res.status = config_.has(TRepoFault::Archive404) ? 404 : 500;
      res.set_content(res.status == 404 ? "Not Found\n" : "Internal Server Error\n", "text/plain");
      return;
    }
    if (auto served = ServedArchive(path.string(), name)) {
      res.set_content(*served, "application/zip");
      return;
    }
    if (!signature && config_.has(TRepoFault::SlowArchive)) {
      Trickle(res, ReadWholeFile(path.string()).value_or(""), "application/zip", server);
      return;
    }
    const std::uint64_t size = fs::file_size(path);
    const bool stall = config_.has(TRepoFault::Stall);
    auto stream = std::make_shared<std::ifstream>(path, std::ios::binary);
    TSimHttpServer* owner = &server;
    res.set_content_provider(
        size, "application/zip",
        [stream, stall, size, owner](std::size_t offset, std::size_t length,
                                     httplib::DataSink& sink) {
          if (stall && offset >= size / 2) {
            // Hold the line open without a byte until the client gives up or we stop.
            const TConnectionContext* context = CurrentConnection();
            while (!owner->stopping().load()) {
              pollfd p{context ? context->fd : -1, POLLIN, 0};
              if (context && ::poll(&p, 1, 50) > 0) {
                char probe;
                if (::recv(context->fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT) <= 0) break;
              }
              if (!context) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            return false;
          }
          std::size_t want = std::min<std::size_t>(length, 65536);
          if (stall) want = std::min<std::size_t>(want, size / 2 - offset);
          std::string buffer(want, '\0');
          stream->seekg(static_cast<std::streamoff>(offset));
          stream->read(buffer.data(), static_cast<std::streamsize>(want));
          if (stream->gcount() <= 0) return false;
          sink.write(buffer.data(), static_cast<std::size_t>(stream->gcount()));
          return true;
        });
  });
}

}  // namespace camlift::sim
