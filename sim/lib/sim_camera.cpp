// SPDX-License-Identifier: Apache-2.0
#include "sim_camera.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "sim_digest.h"
#include "sim_multipart.h"
#include "sim_timing.h"
#include "sim_upload_verdict.h"
#include "util/base64.h"
#include "util/text.h"

namespace fs = std::filesystem;

namespace camlift::sim {
namespace {

// httplib adds the connection's addresses as pseudo headers; they did not come from the client.
bool IsAddedHeader(const std::string& name) {
  return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
         name == "LOCAL_PORT";
}

nlohmann::json HeadersJson(const httplib::Request& req, const TConnectionContext* context) {
  nlohmann::json headers = nlohmann::json::array();
  for (const auto& [name, value] : req.headers) {
    if (IsAddedHeader(name)) continue;
    if (context && !context->raw_content_type.empty() && LowerAscii(name) == "content-type") {
      headers.push_back({name, context->raw_content_type});
    } else {
      headers.push_back({name, value});
    }
  }
  return headers;
}

}  // namespace

// A file for one upload: in upload_dir when the camera keeps uploads, else a temporary one that
// goes away with the object.
class TUploadFile {
 public:
  TUploadFile(const std::string& keep_dir, const std::string& stem) {
    if (!keep_dir.empty()) {
      fs::create_directories(keep_dir);
      path_ = (fs::path(keep_dir) / (stem + ".bin")).string();
      keep_ = true;
    } else {
      std::string pattern = (fs::temp_directory_path() / "camlift-sim-upload-XXXXXX").string();
      const int fd = mkstemp(pattern.data());
      if (fd >= 0) ::close(fd);
      path_ = pattern;
    }
    out_.open(path_, std::ios::binary | std::ios::trunc);
  }
  ~TUploadFile() {
    out_.close();
    if (!keep_) {
      std::error_code ec;
      fs::remove(path_, ec);
    }
  }
  bool ok() const { return static_cast<bool>(out_); }
  void Write(std::span<const char> bytes) {
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  void Close() { out_.close(); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool keep_ = false;
  std::ofstream out_;
};

// What the record line tells of the received file part beyond the verdict's inputs.
struct TReceivedUpload {
  nlohmann::json part_headers = nullptr;
  nlohmann::json field = nullptr;
  nlohmann::json filename = nullptr;
  nlohmann::json part_content_type = nullptr;
  std::uint64_t size = 0;
  TMd5 md5;
  int parts = 0;
  bool cut = false;  // close-mid-upload reset the connection
};

TSimCamera::TSimCamera(TCameraConfig config, std::shared_ptr<TSimRecorder> recorder,
                       std::vector<TCameraExtensionFactory> extensions, bool allow_wildcard)
    : config_(std::move(config)),
      recorder_(recorder ? std::move(recorder) : std::make_shared<TSimRecorder>()),
      allow_wildcard_(allow_wildcard) {
  if (config_.name.empty()) {
    config_.name =
        SeriesText(config_.series) + "@" + config_.ip + ":" + std::to_string(config_.port);
  }
  const TSimSeriesProfile& profile = ProfileOf(config_.series);
  if (config_.search_dialects.empty() && !profile.search_dialect.empty()) {
    config_.search_dialects.emplace_back(profile.search_dialect);
  }
  state_.sys_version = config_.sys_version;
  state_.ui_version = config_.ui_version;
  for (auto& factory : extensions) {
    if (auto extension = factory(*this)) extensions_.push_back(std::move(extension));
  }
}

TSimCamera::~TSimCamera() { Stop(); }

void TSimCamera::Start() {
  if (IsWildcardAddress(config_.ip) && !allow_wildcard_) {
    throw std::runtime_error("camera " + config_.name + ": refusing the wildcard address \"" +
                             config_.ip + "\"");
  }
  for (const TCameraFault fault : config_.faults) {
    const std::string mismatch = FaultMismatch(config_.series, fault);
    if (!mismatch.empty()) throw std::runtime_error("camera " + config_.name + ": " + mismatch);
  }
  if (config_.has(TCameraFault::NotListening)) return;
  OpenPorts();
  restart_thread_ = std::thread([this] { RestartLoop(); });
}

void TSimCamera::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (restart_thread_.joinable()) restart_thread_.join();
  ClosePorts();
}

TCameraState TSimCamera::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

bool TSimCamera::WaitUntilUp(int timeout_ms) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return state_.up && !going_down_; });
}

int TSimCamera::RebootMillis() const {
  return config_.reboot_ms >= 0 ? ScaleMillis(config_.reboot_ms, WaitKind::Pause)
                                : Millis(SimWait::RebootTime);
}

void TSimCamera::OpenPorts() {
  std::vector<std::unique_ptr<TSimListener>> listeners;
  auto setup = [this](TSimHttpServer& server) { SetupServer(server); };
  const int http = http_port_.load() ? http_port_.load() : config_.port;
  listeners.push_back(std::make_unique<TSimListener>(config_.ip, http, setup, allow_wildcard_));
  const int http_bound = listeners.back()->port();
  int upload_bound = 0;
  if (ProfileOf(config_.series).upload_port) {
    const int wanted = upload_port_.load() ? upload_port_.load() : config_.upload_port;
    if (wanted != http_bound) {
      listeners.push_back(
          std::make_unique<TSimListener>(config_.ip, wanted, setup, allow_wildcard_));
      upload_bound = listeners.back()->port();
    } else {
      upload_bound = http_bound;
    }
  }
  std::vector<std::unique_ptr<ICameraService>> services;
  {
    std::lock_guard lock(mutex_);
    listeners_ = std::move(listeners);
    http_port_ = http_bound;
    upload_port_ = upload_bound;
    state_.up = true;
    going_down_ = false;
  }
  for (auto& extension : extensions_) {
    if (auto service = extension->StartService(*this)) services.push_back(std::move(service));
  }
  {
    std::lock_guard lock(mutex_);
    services_ = std::move(services);
  }
  changed_.notify_all();
}

void TSimCamera::ClosePorts() {
  std::vector<std::unique_ptr<TSimListener>> listeners;
  std::vector<std::unique_ptr<ICameraService>> services;
  {
    std::lock_guard lock(mutex_);
    listeners = std::move(listeners_);
    services = std::move(services_);
    listeners_.clear();
    services_.clear();
    state_.up = false;
  }
  services.clear();
  for (auto& listener : listeners) listener->Stop();
  changed_.notify_all();
}

void TSimCamera::RestartLoop() {
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [&] { return stopping_ || restart_requested_; });
    if (stopping_) return;
    restart_requested_ = false;
    lock.unlock();
    ClosePorts();
    lock.lock();
    if (config_.has(TCameraFault::NeverReturns)) {
      changed_.wait(lock, [&] { return stopping_; });
      return;
    }
    if (changed_.wait_for(lock, std::chrono::milliseconds(RebootMillis()),
                          [&] { return stopping_; })) {
      return;
    }
    if (pending_ && !config_.has(TCameraFault::OldVersion)) {
      if (pending_->kind == TFirmwareKind::System) {
        state_.sys_version = pending_->version;
      } else {
        state_.ui_version = pending_->version;
      }
    }
    pending_.reset();
    if (pending_address_) {
      config_.ip = pending_address_->first;
      config_.port = pending_address_->second;
      http_port_ = 0;
      pending_address_.reset();
    }
    lock.unlock();
    try {
      OpenPorts();
    } catch (const std::exception& e) {
      std::cerr << "camlift-sim: camera " << config_.name << " cannot come back: " << e.what()
                << "\n";
    }
    lock.lock();
  }
}

void TSimCamera::RequestRestart() {
  {
    std::lock_guard lock(mutex_);
    restart_requested_ = true;
  }
  // The restart thread sleeps on changed_ until it is told.
  changed_.notify_all();
}

void TSimCamera::MoveTo(const std::string& ip, int port) {
  {
    std::lock_guard lock(mutex_);
    going_down_ = true;
    pending_address_.emplace(ip, port);
  }
  RequestRestart();
}

void TSimCamera::BeginRestart(std::optional<TSimFirmwareInfo> firmware) {
  {
    std::lock_guard lock(mutex_);
    going_down_ = true;
    if (firmware) ++state_.upgrades;
    pending_ = std::move(firmware);
  }
  RequestRestart();
}

std::string TSimCamera::StatusPage() const {
  const char q = ProfileOf(config_.series).status_quote;
  TCameraState s = state();
  auto line = [q](const std::string& key, const std::string& value) {
    return "var " + key + "=" + q + value + q + ";\n";
  };
  return line("id", config_.device_id) + line("sys_ver", s.sys_version) +
         line("app_ver", s.ui_version) + line("alias", config_.device_name) +
         line("oem_id", config_.oem) + line("mac", config_.mac) +
         "var now=" + std::to_string(std::time(nullptr)) + ";\n";
}

std::string TSimCamera::AppVerPage() const {
  const std::string prefix(ProfileOf(config_.series).ui_version_prefix);
  return "var app_model=\"" + config_.model + "\";\nvar app_ver=\"" + prefix + state().ui_version +
         "\";\n";
}

bool TSimCamera::AccountOk(const httplib::Request& req, TSimAccount account) const {
  if (config_.has(TCameraFault::RejectAccount)) return false;
  if (config_.has(TCameraFault::AccountReset) && state().upgrades > 0) return false;
  const auto query = [&](const char* user_key, const char* password_key) {
    return req.has_param(user_key) && req.get_param_value(user_key) == config_.user &&
           req.get_param_value(password_key) == config_.password;
  };
  switch (account) {
    case TSimAccount::UserPwd:
      return query("user", "pwd");
    case TSimAccount::LoginUse:
      return query("loginuse", "loginpas");
    case TSimAccount::Basic:
      break;
  }
  if (!req.has_header("Authorization")) return config_.password.empty();
  const std::string value = req.get_header_value("Authorization");
  const std::string expected = Base64EncodeOneLine(config_.user + ":" + config_.password);
  return value.size() > 6 && LowerAscii(value.substr(0, 6)) == "basic " &&
         value.substr(6) == expected;
}

void TSimCamera::Refuse(httplib::Response& res) const {
  res.status = 401;
  switch (ProfileOf(config_.series).page_refusal) {
    case TSimRefusal::AuthFailed:
      res.set_content("Auth Failed", "text/plain");
      return;
    case TSimRefusal::Challenge:
      res.set_header("WWW-Authenticate", "Basic realm=\"ipcamera\"");
      res.set_content(kUnauthorizedPage, "text/html");
      return;
  }
}

nlohmann::json TSimCamera::RequestEntry(const httplib::Request& req,
                                        const TConnectionContext* context, int status) const {
  return {{"role", "camera"},
          {"name", config_.name},
          {"series", SeriesText(config_.series)},
          {"address", context ? context->listen_address : config_.ip},
          {"port", context ? context->listen_port : 0},
          {"peer", req.remote_addr + ":" + std::to_string(req.remote_port)},
          {"method", req.method},
          {"target", req.target},
          {"version", req.version},
          {"headers", HeadersJson(req, context)},
          {"head", context ? context->head : std::string()},
          {"status", status}};
}

void TSimCamera::Record(const httplib::Request& req, const httplib::Response& res) {
  TConnectionContext* context = CurrentConnection();
  if (context && context->recorded) return;
  nlohmann::json entry = RequestEntry(req, context, res.status);
  recorder_->Append(std::move(entry));
  if (context) context->recorded = true;
}

void TSimCamera::SetupServer(TSimHttpServer& server) {
  server.SetAdmission([this] {
    if (config_.has(TCameraFault::NeverAnswers)) return TAdmission::HoldSilently;
    std::lock_guard lock(mutex_);
    return going_down_ ? TAdmission::CloseAtOnce : TAdmission::Serve;
  });
  server.SetConnectionNote([this](const std::string& peer, const std::string& note) {
    TConnectionContext* context = CurrentConnection();
    recorder_->Append({{"role", "camera"},
                       {"name", config_.name},
                       {"series", SeriesText(config_.series)},
                       {"address", config_.ip},
                       {"port", context ? context->listen_port : 0},
                       {"peer", peer},
                       {"status", 0},
                       {"note", note}});
  });
  for (auto& extension : extensions_) {
    if (auto protocol = extension->PortProtocol(*this)) server.AddProtocol(protocol);
  }
  // Recorded before the answer is written, so that a client that has its answer finds the line.
  server.set_post_routing_handler(
      [this](const httplib::Request& req, httplib::Response& res) { Record(req, res); });
  const TSimSeriesProfile& profile = ProfileOf(config_.series);
  auto page = [this, &profile](const char* content_type, std::function<std::string()> body,
                               bool needs_account) {
    const TSimAccount account = profile.page_account;
    return [this, account, content_type, body, needs_account](const httplib::Request& req,
                                                              httplib::Response& res) {
      if (needs_account && !AccountOk(req, account)) {
        Refuse(res);
        return;
      }
      res.set_content(body(), content_type);
    };
  };
  // version-unreadable: once upgraded, the version pages answer without any version.
  auto version_page = [this, page](const char* content_type, std::function<std::string()> body,
                                   bool needs_account) {
    auto inner = page(content_type, std::move(body), needs_account);
    return [this, inner](const httplib::Request& req, httplib::Response& res) {
      if (config_.has(TCameraFault::VersionUnreadable) && state().upgrades > 0) {
        res.status = 503;
        res.set_content("busy\n", "text/plain");
        return;
      }
      inner(req, res);
    };
  };
  server.Get("/oem.txt", page(
                             "text/plain", [this] { return config_.oem; }, true));
  server.Get("/appver.js", version_page(
                               "application/javascript", [this] { return AppVerPage(); }, true));
  for (const std::string_view path : {std::string_view("/get_status.cgi"), profile.status_alias}) {
    if (path.empty()) continue;
    server.Get(std::string(path),
               version_page(
                   "text/plain", [this] { return StatusPage(); }, profile.status_needs_account));
  }

  const std::pair<std::string_view, TFirmwareKind> uploads[] = {
      {profile.system_upload, TFirmwareKind::System}, {profile.ui_upload, TFirmwareKind::Ui}};
  for (const auto& [path, kind] : uploads) {
    if (path.empty()) continue;
    server.Post(std::string(path),
                [this, kind = kind](const httplib::Request& req, httplib::Response& res,
                                    const httplib::ContentReader& reader) {
                  HandleUpload(req, res, reader, kind);
                });
  }
  for (auto& extension : extensions_) extension->AddRoutes(*this, server);
  // Anything else that carries a body is read to its end (never kept) and answered 404.
  server.Post(".*", [](const httplib::Request&, httplib::Response& res,
                       const httplib::ContentReader& reader) {
    reader([](const char*, std::size_t) { return true; });
    res.status = 404;
    res.set_content("<html><body><h1>404 Not Found</h1></body></html>\n", "text/html");
  });
}

void TSimCamera::HandleUpload(const httplib::Request& req, httplib::Response& res,
                              const httplib::ContentReader& reader, TFirmwareKind kind) {
  TConnectionContext* context = CurrentConnection();
  TUploadFile file(config_.upload_dir, config_.name + "-" + std::to_string(++upload_counter_));
  TReceivedUpload upload;
  TUploadReceipt receipt = ReceiveUpload(req, reader, file, upload, context);
  if (upload.cut && context) return;  // recorded and reset already
  const TSimAccount account = ProfileOf(config_.series).upload_account;
  receipt.account_ok = AccountOk(req, account);
  const TUploadVerdict verdict = JudgeUpload(receipt, config_, kind, account == TSimAccount::Basic);
  FinishUpload(req, res, receipt, upload, verdict, context);
}

TUploadReceipt TSimCamera::ReceiveUpload(const httplib::Request& req,
                                         const httplib::ContentReader& reader, TUploadFile& file,
                                         TReceivedUpload& upload, TConnectionContext* context) {
  TUploadReceipt receipt;
  receipt.content_type = context && !context->raw_content_type.empty()
                             ? context->raw_content_type
                             : req.get_header_value("Content-Type");
  bool in_file_part = false;
  const auto boundary = BoundaryFromContentType(receipt.content_type);
  receipt.has_boundary = boundary.has_value();
  std::optional<TMultipartParser> parser;
  if (boundary) {
    parser.emplace(*boundary, TMultipartParser::Callbacks{
                                  [&](const TPartHeaders& h) {
                                    ++upload.parts;
                                    in_file_part = h.name == "file" && !receipt.has_file_part;
                                    if (in_file_part) {
                                      receipt.has_file_part = true;
                                      upload.part_headers = h.raw;
                                      upload.field = h.name;
                                      upload.filename =
                                          h.has_filename ? nlohmann::json(h.filename) : nullptr;
                                      upload.part_content_type = h.content_type;
                                    }
                                    return true;
                                  },
                                  [&](std::span<const char> data) {
                                    if (in_file_part) {
                                      file.Write(data);
                                      upload.md5.Update(data);
                                      upload.size += data.size();
                                    }
                                    return true;
                                  },
                                  [&] {
                                    in_file_part = false;
                                    return true;
                                  }});
  }

  std::uint64_t received = 0;
  const bool cut = config_.has(TCameraFault::CloseMidUpload);
  const auto started = std::chrono::steady_clock::now();
  receipt.read_all = reader([&](const char* data, std::size_t n) {
    if (cut && received + n >= config_.close_after_bytes) {
      // The record line goes out before the reset, so that whoever sees the reset finds it.
      TUploadVerdict reset;
      reset.note = "connection reset after " + std::to_string(received) +
                   " body bytes (fault close-mid-upload)";
      reset.error = "cut by the camera";
      upload.cut = true;
      RecordUpload(req, receipt, upload, reset, context);
      if (context) {
        context->abort = true;
        ::shutdown(context->fd, SHUT_RDWR);
      }
      return false;
    }
    received += n;
    if (parser && !parser->failed()) parser->Feed(std::span<const char>(data, n));
    if (config_.upload_rate > 0) {
      // A slow link or flash: the body is taken no faster than the rate; a stop ends the wait.
      const auto due =
          started + std::chrono::microseconds(received * 1000000 / config_.upload_rate);
      std::unique_lock lock(mutex_);
      if (changed_.wait_until(lock, due, [&] { return stopping_; })) return false;
    }
    return true;
  });
  file.Close();
  if (!receipt.read_all) return receipt;
  receipt.framing_ok = parser && parser->Finish();
  if (parser) receipt.framing_error = parser->error();
  if (receipt.framing_ok && receipt.has_file_part) {
    receipt.firmware = ReadSimFirmwareFile(file.path());
  }
  return receipt;
}

void TSimCamera::RecordUpload(const httplib::Request& req, const TUploadReceipt& receipt,
                              TReceivedUpload& upload, const TUploadVerdict& verdict,
                              TConnectionContext* context) {
  nlohmann::json entry = RequestEntry(req, context, verdict.status);
  const bool show_firmware = verdict.firmware_checked && receipt.firmware;
  entry["upload"] = {
      {"part_headers", upload.part_headers},
      {"field", upload.field},
      {"filename", upload.filename},
      {"content_type", upload.part_content_type},
      {"size", upload.size},
      {"md5", receipt.has_file_part ? nlohmann::json(upload.md5.HexDigest()) : nullptr},
      {"framing_ok", receipt.framing_ok},
      {"error", verdict.error ? nlohmann::json(*verdict.error) : nullptr},
      {"firmware", show_firmware ? nlohmann::json{{"series", SeriesText(receipt.firmware->series)},
                                                  {"kind", KindText(receipt.firmware->kind)},
                                                  {"version", receipt.firmware->version}}
                                 : nlohmann::json(nullptr)},
      {"accepted", verdict.restart},
      {"parts", upload.parts}};
  if (!verdict.note.empty()) entry["note"] = verdict.note;
  recorder_->Append(std::move(entry));
  if (context) context->recorded = true;
}

void TSimCamera::FinishUpload(const httplib::Request& req, httplib::Response& res,
                              const TUploadReceipt& receipt, TReceivedUpload& upload,
                              const TUploadVerdict& verdict, TConnectionContext* context) {
  res.status = verdict.status;
  for (const auto& [name, value] : verdict.headers) res.set_header(name, value);
  if (!verdict.content_type.empty()) res.set_content(verdict.body, verdict.content_type);
  if (verdict.restart) {
    {
      std::lock_guard lock(mutex_);
      going_down_ = true;
      pending_ = receipt.firmware;
      ++state_.upgrades;
    }
    if (context) {
      context->after_close = [this] { RequestRestart(); };
    } else {
      RequestRestart();  // no "after the answer" without a connection: restart at once
    }
  }
  RecordUpload(req, receipt, upload, verdict, context);
}

}  // namespace camlift::sim
