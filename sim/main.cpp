// SPDX-License-Identifier: Apache-2.0
// camlift-sim: simulated cameras (series K, M, P, R) and a firmware repository, for tests, demos
// and integrators who want to try Camlift without a camera.
//
//   camlift-sim run --scenario FILE [--record FILE]
//   camlift-sim camera --series P --ip 127.0.0.2 --port 8081 [--user admin --password x ...]
//   camlift-sim repo serve --root DIR --ip 127.0.0.1 --port 8090 [--fault stall ...]
//   camlift-sim repo add --root DIR --folder system --section S --kind sys --version V --series M
//   camlift-sim repo keygen --key FILE            (prints the public key for repository_keys)
//   camlift-sim repo sign --key FILE --root DIR   (or catalogue files: writes firmware.txt.sig)
//   camlift-sim repo serve ... --https CA_DIR     (HTTPS with a test CA kept in CA_DIR)
//   camlift-sim firmware write|show ...
//
// Servers print one line per listener, then "camlift-sim: ready" and the line a client needs
// ("export CAMLIFT_TIME_SCALE=... CAMLIFT_BROADCAST_ADDR=127.255.255.255") on stdout, and run
// until SIGINT or SIGTERM; with --detach they return once the simulator listens, and it goes on in
// the background. CAMLIFT_TIME_SCALE scales the simulator's waits as it does the client's.
#include <pthread.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <variant>

#include "platform/timing.h"
#include "sim_client_env.h"
#include "sim_detach.h"
#include "sim_firmware.h"
#include "sim_scenario.h"
#include "sim_signing.h"
#include "sim_site.h"

namespace {

using namespace camlift::sim;

std::string Join(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

// Signals are blocked before any thread starts, so that only the main thread's sigwait sees them.
sigset_t BlockStopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  return set;
}

int RunUntilSignal(TScenario scenario, const std::string& record_override, bool detach) {
  if (detach) DetachUntilReady();
  const sigset_t signals = BlockStopSignals();
  const std::string record = record_override.empty() ? scenario.record : record_override;
  auto recorder =
      record.empty() ? std::make_shared<TSimRecorder>() : std::make_shared<TSimRecorder>(record);
  const char* scale = std::getenv("CAMLIFT_TIME_SCALE");
  const std::string client_line = ClientEnvironmentLine(scenario, scale ? scale : "");
  TSimulator simulator(std::move(scenario), recorder);
  simulator.Start();
  for (const auto& line : simulator.Describe()) std::cout << "camlift-sim: " << line << "\n";
  if (detach) {
    const std::string pid = std::to_string(::getpid());
    std::cout << "camlift-sim: runs in the background as process " << pid << " (kill " << pid
              << " stops it)\n";
  }
  std::cout << "camlift-sim: ready\n" << client_line << std::endl;
  if (detach) ReleaseParent();
  int received = 0;
  sigwait(&signals, &received);
  simulator.Stop();
  std::cout << "camlift-sim: stopped" << std::endl;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"camlift-sim: simulated IP cameras (series K, M, P, R) and a firmware repository",
               "camlift-sim"};
  app.set_version_flag("--version", CAMLIFT_VERSION_TEXT);
  app.require_subcommand(1);

  // run
  auto* run = app.add_subcommand("run", "Run the cameras and the repository of a scenario file");
  std::string scenario_path;
  std::string record;
  bool allow_wildcard = false;
  bool detach = false;
  const std::string detach_help = "Return once the simulator listens; it goes on in the background";
  run->add_flag("--detach", detach, detach_help);
  run->add_option("--scenario", scenario_path, "Scenario file (JSON)")->required();
  run->add_option("--record", record, "Append one JSON line per request to this file");
  run->add_flag("--allow-wildcard", allow_wildcard, "Allow listening on 0.0.0.0 or ::");

  // camera
  auto* camera = app.add_subcommand("camera", "Run one camera");
  TCameraConfig cam;
  std::string series_text = "P";
  std::vector<std::string> camera_faults;
  camera->add_option("--series", series_text, "K, M, P or R")->required();
  for (const TCameraSetting& setting : CameraSettings()) {
    std::visit(
        [&](auto member) {
          CLI::Option* option =
              camera->add_option(CameraSettingOption(setting), cam.*member, setting.help);
          if (setting.flags & kSettingRequired) option->required();
          if (setting.flags & kSettingShowDefault) option->capture_default_str();
        },
        setting.member);
  }
  camera->add_option("--fault", camera_faults, "Fault switch: " + Join(CameraFaultNames()));
  camera->add_option("--record", record, "Append one JSON line per request to this file");
  camera->add_flag("--allow-wildcard", allow_wildcard, "Allow listening on 0.0.0.0 or ::");
  camera->add_flag("--detach", detach, detach_help);

  // repo serve / repo add
  auto* repo = app.add_subcommand("repo", "Firmware repository");
  repo->require_subcommand(1);
  auto* serve = repo->add_subcommand("serve", "Serve a repository folder under /FM/");
  TRepoConfig repo_config;
  std::vector<std::string> repo_faults;
  serve->add_option("--root", repo_config.root, "Repository folder")->required();
  serve->add_option("--ip", repo_config.ip, "Address to listen on")->capture_default_str();
  serve->add_option("--port", repo_config.port, "Port (0: any free port)")->required();
  serve->add_option("--fault", repo_faults, "Fault switch: " + Join(RepoFaultNames()));
  serve->add_option("--record", record, "Append one JSON line per request to this file");
  serve->add_flag("--allow-wildcard", allow_wildcard, "Allow listening on 0.0.0.0 or ::");
  serve->add_flag("--detach", detach, detach_help);
  serve->add_option("--https", repo_config.tls_dir,
                    "Serve HTTPS with the test CA in this folder (made when missing; give its "
                    "ca.pem to camlift --ca-file)");
  serve->add_option("--tls-name", repo_config.tls_name,
                    "Name the server certificate is issued for (default: --ip)");

  auto* keygen = repo->add_subcommand("keygen", "Make a key pair for signing catalogues");
  std::string key_path;
  keygen->add_option("--key", key_path, "Private key file to create (PEM)")->required();
  auto* sign = repo->add_subcommand("sign", "Sign catalogues: writes firmware.txt.sig beside each");
  std::string sign_root;
  std::vector<std::string> sign_files;
  sign->add_option("--key", key_path, "Private key file (PEM)")->required();
  sign->add_option("--root", sign_root, "Sign every catalogue of this repository folder");
  sign->add_option("files", sign_files, "Catalogue files to sign");

  auto* add = repo->add_subcommand("add", "Make a firmware archive and enter it in firmware.txt");
  TRepoAddOptions add_options;
  std::string add_kind = "sys";
  std::string add_series;
  add->add_option("--root", add_options.root, "Repository folder")->required();
  add->add_option("--folder", add_options.folder, "\"system\" or the OEM text")->required();
  add->add_option("--section", add_options.section, "Catalogue section (model key)")->required();
  add->add_option("--kind", add_kind, "sys or ui")->capture_default_str();
  add->add_option("--version", add_options.version, "Firmware version")->required();
  add->add_option("--series", add_series, "K, M, P or R")->required();
  add->add_option("--size", add_options.size, "Size of the firmware file in bytes")
      ->capture_default_str();
  add->add_option("--no", add_options.excluded, "Excluded current versions (key NO)");
  add->add_option("--archive", add_options.archive_name,
                  "Archive file name (default fw_<series>_<kind>_<version>.zip)");
  add->add_flag("--stored", add_options.stored, "Store without compression");
  add->add_flag("--sha256", add_options.sha256, "Also enter the archive's SHA256");

  // firmware write / show
  auto* firmware = app.add_subcommand("firmware", "Simulated firmware files");
  firmware->require_subcommand(1);
  auto* write = firmware->add_subcommand("write", "Write a simulated firmware file");
  std::string fw_series;
  std::string fw_kind = "sys";
  std::string fw_version;
  std::string fw_out;
  std::uint64_t fw_size = 4096;
  write->add_option("--series", fw_series, "K, M, P or R")->required();
  write->add_option("--kind", fw_kind, "sys or ui")->capture_default_str();
  write->add_option("--version", fw_version, "Version")->required();
  write->add_option("--size", fw_size, "Size in bytes")->capture_default_str();
  write->add_option("--out", fw_out, "File to write")->required();
  auto* show = firmware->add_subcommand("show", "Print series, kind and version of a file");
  std::string show_path;
  show->add_option("file", show_path, "Firmware file")->required();

  // site
  auto* site = app.add_subcommand("site", "Run a whole site of cameras and a repository");
  TSiteOptions site_options;
  std::string site_series = "M,P,R,K";
  std::string site_list;
  site->add_option("--count", site_options.count, "Number of cameras")->capture_default_str();
  site->add_option("--series", site_series, "Series, in turn (e.g. M,P,R,K)")
      ->capture_default_str();
  site->add_option("--faulty", site_options.faulty, "Cameras that misbehave")
      ->capture_default_str();
  site->add_option("--excluded", site_options.excluded,
                   "Cameras whose version the catalogue's NO list names")
      ->capture_default_str();
  site->add_option("--up-to-date", site_options.up_to_date,
                   "Cameras that run the repository's version already")
      ->capture_default_str();
  site->add_option("--base-ip", site_options.base_ip, "Address of the first camera")
      ->capture_default_str();
  site->add_option("--port", site_options.port, "HTTP port of every camera")->capture_default_str();
  site->add_option("--password", site_options.password, "Password of every camera")
      ->capture_default_str();
  site->add_option("--repo-root", site_options.repo_root, "Repository folder")->required();
  site->add_option("--repo-port", site_options.repo_port, "Repository port")->required();
  site->add_option("--size", site_options.firmware_size, "Firmware size in bytes")
      ->capture_default_str();
  site->add_option("--list", site_list, "Write the camera list (CSV) for camlift upgrade --from");
  site->add_option("--record", record, "Append one JSON line per request to this file");
  site->add_flag("--detach", detach, detach_help);

  CLI11_PARSE(app, argc, argv);

  try {
    // A time scale the client would refuse stops the simulator too, before anything listens.
    camlift::TimeScale();
    if (*run) {
      TScenario scenario = LoadScenario(scenario_path);
      scenario.allow_wildcard = scenario.allow_wildcard || allow_wildcard;
      return RunUntilSignal(std::move(scenario), record, detach);
    }
    if (*site) {
      site_options.series.clear();
      std::stringstream names(site_series);
      for (std::string name; std::getline(names, name, ',');) {
        const auto series = ParseSeries(name);
        if (!series) throw std::runtime_error("unknown series \"" + name + "\"");
        site_options.series.push_back(*series);
      }
      TScenario scenario = MakeSiteScenario(site_options);
      if (!site_list.empty()) {
        std::ofstream out(site_list, std::ios::trunc);
        out << SiteCameraList(scenario);
        if (!out.flush()) throw std::runtime_error("cannot write " + site_list);
      }
      return RunUntilSignal(std::move(scenario), record, detach);
    }
    if (*camera) {
      const auto series = ParseSeries(series_text);
      if (!series) throw std::runtime_error("--series must be K, M, P or R");
      cam.series = *series;
      for (const auto& name : camera_faults) {
        const auto fault = ParseCameraFault(name);
        if (!fault) throw std::runtime_error("unknown camera fault \"" + name + "\"");
        cam.faults.insert(*fault);
      }
      TScenario scenario;
      scenario.allow_wildcard = allow_wildcard;
      scenario.cameras.push_back(cam);
      return RunUntilSignal(std::move(scenario), record, detach);
    }
    if (*serve) {
      for (const auto& name : repo_faults) {
        const auto fault = ParseRepoFault(name);
        if (!fault) throw std::runtime_error("unknown repository fault \"" + name + "\"");
        repo_config.faults.insert(*fault);
      }
      TScenario scenario;
      scenario.allow_wildcard = allow_wildcard;
      scenario.repository = repo_config;
      return RunUntilSignal(std::move(scenario), record, detach);
    }
    if (*keygen) {
      std::string public_key, error;
      if (!RepoKeygen(key_path, public_key, error)) throw std::runtime_error(error);
      std::cout << "[Global]\nrepository_keys=" << public_key << "\n";
      return 0;
    }
    if (*sign) {
      if (!sign_root.empty()) {
        const auto found = CataloguesBelow(sign_root);
        sign_files.insert(sign_files.end(), found.begin(), found.end());
      }
      if (sign_files.empty()) throw std::runtime_error("no catalogue to sign (--root or files)");
      std::string error;
      if (!RepoSign(key_path, sign_files, error)) throw std::runtime_error(error);
      for (const auto& file : sign_files) std::cout << "signed " << file << ".sig\n";
      return 0;
    }
    if (*add) {
      const auto series = ParseSeries(add_series);
      const auto kind = ParseKind(add_kind);
      if (!series || !kind) {
        throw std::runtime_error("--series must be M, P or R, --kind sys or ui");
      }
      add_options.series = *series;
      add_options.kind = *kind;
      TRepoAddResult result;
      std::string error;
      if (!RepoAdd(add_options, result, error)) throw std::runtime_error(error);
      std::cout << "archive " << result.archive_path << "\nentry " << result.entry_name << "\nmd5 "
                << result.md5 << "\ncatalogue " << result.catalogue_path << "\n";
      return 0;
    }
    if (*write) {
      const auto series = ParseSeries(fw_series);
      const auto kind = ParseKind(fw_kind);
      if (!series || !kind) {
        throw std::runtime_error("--series must be M, P or R, --kind sys or ui");
      }
      std::string error;
      if (!WriteSimFirmware(fw_out, {*series, *kind, fw_version}, fw_size, error)) {
        throw std::runtime_error(error);
      }
      return 0;
    }
    if (*show) {
      const auto info = ReadSimFirmwareFile(show_path);
      if (!info) throw std::runtime_error(show_path + " is not a simulated firmware file");
      std::cout << "series=" << SeriesText(info->series) << "\nkind=" << KindText(info->kind)
                << "\nversion=" << info->version << "\n";
      return 0;
    }
  } catch (const std::exception& e) {
    std::cerr << "camlift-sim: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
