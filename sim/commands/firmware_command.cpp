// SPDX-License-Identifier: Apache-2.0
// camlift-sim firmware write|show: simulated firmware files.
#include <iostream>
#include <memory>
#include <stdexcept>

#include "sim_command_registry.h"
#include "sim_firmware.h"

namespace camlift::sim {
namespace {

struct TWriteOptions {
  std::string series;
  std::string kind = "sys";
  std::string version;
  std::string out;
  std::uint64_t size = 4096;
};

int RunWrite(const TWriteOptions& options) {
  const auto series = ParseSeries(options.series);
  const auto kind = ParseKind(options.kind);
  if (!series || !kind)
    throw std::runtime_error("--series must be " + SeriesList() + ", --kind sys or ui");
  std::string error;
  if (!WriteSimFirmware(options.out, {*series, *kind, options.version}, options.size, error)) {
    throw std::runtime_error(error);
  }
  return 0;
}

int RunShow(const std::string& path) {
  const auto info = ReadSimFirmwareFile(path);
  if (!info) throw std::runtime_error(path + " is not a simulated firmware file");
  std::cout << "series=" << SeriesText(info->series) << "\nkind=" << KindText(info->kind)
            << "\nversion=" << info->version << "\n";
  return 0;
}

void SetupFirmware(CLI::App& root, TSimCommandRunner& run) {
  auto* firmware = root.add_subcommand("firmware", "Simulated firmware files");
  firmware->require_subcommand(1);

  auto options = std::make_shared<TWriteOptions>();
  auto* write = firmware->add_subcommand("write", "Write a simulated firmware file");
  write->add_option("--series", options->series, SeriesList())->required();
  write->add_option("--kind", options->kind, "sys or ui")->capture_default_str();
  write->add_option("--version", options->version, "Version")->required();
  write->add_option("--size", options->size, "Size in bytes")->capture_default_str();
  write->add_option("--out", options->out, "File to write")->required();
  write->callback([options, &run] { run = [options] { return RunWrite(*options); }; });

  auto path = std::make_shared<std::string>();
  auto* show = firmware->add_subcommand("show", "Print series, kind and version of a file");
  show->add_option("file", *path, "Firmware file")->required();
  show->callback([path, &run] { run = [path] { return RunShow(*path); }; });
}

}  // namespace

CAMLIFT_REGISTER_SIM_COMMAND("firmware", SetupFirmware);

}  // namespace camlift::sim
