// SPDX-License-Identifier: Apache-2.0
// camlift pk2: looks inside a series K firmware package before it goes to a camera.
//   camlift pk2 list FILE    one line per entry: number, type, name, size, MD5 of the
//                            unscrambled data (and the command text of a CMD entry)
//   camlift pk2 check FILE   validates the whole package; says what is wrong with a bad one
// Exit status: 0 ok, 1 unreadable or malformed package, 2 usage.
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

#include "command_registry.h"
#include "ctp/pk2_format.h"
#include "util/text_fields.h"

namespace camlift::cli {
namespace {

struct TPk2Options {
  std::string file;
};

std::optional<std::vector<std::uint8_t>> ReadPackage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

int Run(const TPk2Options& options, bool list) {
  const auto bytes = ReadPackage(options.file);
  if (!bytes) {
    std::cerr << "camlift pk2: cannot read " << options.file << "\n";
    return kExitFailed;
  }
  const TPk2Report report = InspectPk2(*bytes);
  if (list) {
    int number = 0;
    for (const TPk2Entry& entry : report.entries) {
      std::cout << ++number << "\t" << entry.type << "\t";
      if (entry.skipped) {
        std::cout << "(skipped)\t" << entry.size << "\t-\n";
        continue;
      }
      // A package comes from a repository: its names may carry any byte.
      std::cout << (entry.name.empty() ? "-" : ShownText(entry.name)) << "\t" << entry.size << "\t"
                << entry.md5;
      if (!entry.command.empty()) std::cout << "\t" << entry.command;
      std::cout << "\n";
    }
  }
  if (!report.ok) {
    std::cerr << "camlift pk2: " << options.file << " is malformed: " << ShownText(report.error)
              << "\n";
    return kExitFailed;
  }
  if (!list) {
    std::cout << options.file << ": ok, " << report.count << " entries";
    if (report.trailing > 0) std::cout << ", " << report.trailing << " bytes after the last";
    std::cout << "\n";
  }
  return kExitOk;
}

void SetupPk2(CLI::App& root, CommandRunner& run) {
  CLI::App* pk2 = root.add_subcommand("pk2", "Look inside a series K firmware package (.pk2)");
  pk2->require_subcommand(1);
  for (const bool list : {true, false}) {
    auto options = std::make_shared<TPk2Options>();
    CLI::App* sub = pk2->add_subcommand(
        list ? "list" : "check",
        list ? "List the entries: type, name, size and MD5 of the unscrambled data"
             : "Validate header, entry count, every entry and the name and payload limits");
    sub->add_option("file", options->file, "The package file")->required();
    sub->callback([options, list, &run] { run = [options, list] { return Run(*options, list); }; });
  }
}

}  // namespace

CAMLIFT_REGISTER_COMMAND("pk2", SetupPk2);

}  // namespace camlift::cli
