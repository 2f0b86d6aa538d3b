// camlift-sim: simulated cameras and a firmware repository for tests, demos and integrators.
#include <CLI/CLI.hpp>
#include <iostream>

int main(int argc, char** argv) {
  CLI::App app{"camlift-sim: simulated IP cameras and a firmware repository", "camlift-sim"};
  app.require_subcommand(0, 1);
  CLI11_PARSE(app, argc, argv);
  std::cout << app.help();
  return 0;
}
