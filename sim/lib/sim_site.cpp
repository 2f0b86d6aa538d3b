// SPDX-License-Identifier: Apache-2.0
#include "sim_site.h"

#include <arpa/inet.h>

#include <stdexcept>

namespace camlift::sim {
namespace {

// Every series starts one firmware behind the repository.
struct TSeriesPlan {
  TSimSeries series;
  const char* model;
  const char* section;  // the catalogue section the engine builds for such a camera
  const char* current;
  const char* latest;
  const char* excluded;  // a version of the same section that the catalogue's NO list names
};

constexpr TSeriesPlan kPlans[] = {
    {TSimSeries::K, "K10", "3.1.X.7", "3.1.8.7", "3.1.9.7", "3.1.5.7"},
    {TSimSeries::M, "M20", "1.2.3", "1.2.3.4", "1.2.3.5", "1.2.3.2"},
    {TSimSeries::P, "P100", "P100", "2.0.0.0", "2.0.0.1", "1.9.0.0"},
    {TSimSeries::R, "R730", "R730", "84.2.0.121", "84.2.0.130", "84.2.0.100"},
};

const TSeriesPlan& PlanOf(TSimSeries series) {
  for (const TSeriesPlan& plan : kPlans) {
    if (plan.series == series) return plan;
  }
  throw std::runtime_error("unknown series");
}

std::string AddressPlus(const std::string& base, int offset) {
  in_addr a{};
  if (::inet_pton(AF_INET, base.c_str(), &a) != 1) {
    throw std::runtime_error("not an IPv4 address: " + base);
  }
  const std::uint32_t host = ntohl(a.s_addr) + static_cast<std::uint32_t>(offset);
  if ((host >> 24) != 127) throw std::runtime_error("the site must stay on 127.0.0.0/8");
  a.s_addr = htonl(host);
  char text[INET_ADDRSTRLEN];
  ::inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

}  // namespace

const std::vector<TCameraFault>& SiteFaults(TSimSeries series) {
  // Series K takes its firmware over CTP, so its upload fault is a CTP one.
  static const std::vector<TCameraFault> http = {
      TCameraFault::RejectAccount, TCameraFault::RedirectUpload, TCameraFault::OldVersion,
      TCameraFault::NotListening};
  static const std::vector<TCameraFault> ctp = {
      TCameraFault::RejectAccount, TCameraFault::CtpDataRefused, TCameraFault::OldVersion,
      TCameraFault::NotListening};
  return series == TSimSeries::K ? ctp : http;
}

TScenario MakeSiteScenario(const TSiteOptions& options) {
  if (options.count <= 0 || options.count > 4000) throw std::runtime_error("count: 1 to 4000");
  if (options.series.empty()) throw std::runtime_error("no series");
  if (options.faulty < 0 || options.faulty > options.count) {
    throw std::runtime_error("faulty: 0 to count");
  }
  if (options.excluded < 0 || options.up_to_date < 0 ||
      options.faulty + options.excluded + options.up_to_date > options.count) {
    throw std::runtime_error("faulty, excluded and up to date: together at most count");
  }
  TScenario scenario;
  TRepoConfig repo;
  repo.root = options.repo_root;
  repo.ip = options.repo_ip;
  repo.port = options.repo_port;
  scenario.repository = repo;
  for (const TSimSeries series : options.series) {
    const TSeriesPlan& plan = PlanOf(series);
    TRepoAddOptions add;
    add.root = options.repo_root;
    add.folder = "system";
    add.section = plan.section;
    add.series = series;
    add.version = plan.latest;
    add.excluded = plan.excluded;
    add.size = options.firmware_size;
    scenario.firmware.push_back(add);
  }
  // Faulty cameras are spread evenly, so that every series and job slot meets some.
  const int every = options.faulty > 0 ? options.count / options.faulty : 0;
  int faults_given = 0;
  int excluded_given = 0, up_to_date_given = 0;
  for (int i = 0; i < options.count; ++i) {
    const TSimSeries series = options.series[static_cast<std::size_t>(i) % options.series.size()];
    const TSeriesPlan& plan = PlanOf(series);
    TCameraConfig camera;
    camera.series = series;
    camera.ip = AddressPlus(options.base_ip, i);
    camera.port = options.port;
    camera.password = options.password;
    camera.sys_version = plan.current;
    camera.model = plan.model;
    camera.name = SeriesText(series) + "-" + std::to_string(i + 1);
    char mac[18];
    std::snprintf(mac, sizeof mac, "00:11:22:%02X:%02X:%02X", (i >> 16) & 255, (i >> 8) & 255,
                  i & 255);
    camera.mac = mac;
    camera.device_id = "SITE-" + std::to_string(i + 1);
    if (every > 0 && faults_given < options.faulty && i % every == every - 1) {
      const auto& faults = SiteFaults(series);
      camera.faults.insert(faults[static_cast<std::size_t>(faults_given) % faults.size()]);
      ++faults_given;
    } else if (excluded_given < options.excluded) {
      camera.sys_version = plan.excluded;
      ++excluded_given;
    } else if (up_to_date_given < options.up_to_date) {
      camera.sys_version = plan.latest;
      ++up_to_date_given;
    }
    scenario.cameras.push_back(camera);
  }
  return scenario;
}

std::string SiteCameraList(const TScenario& scenario) {
  std::string list = "ip,port,series,user,password\n";
  for (const TCameraConfig& c : scenario.cameras) {
    list += c.ip + "," + std::to_string(c.port) + "," + SeriesText(c.series) + "," + c.user + "," +
            c.password + "\n";
  }
  return list;
}

}  // namespace camlift::sim
