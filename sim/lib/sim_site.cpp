// SPDX-License-Identifier: Apache-2.0
#include "sim_site.h"

#include <arpa/inet.h>

#include <stdexcept>

namespace camlift::sim {
namespace {

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

std::vector<TCameraFault> SiteFaults(TSimSeries series) {
  // The upload fault is the series' own: series K takes its firmware over CTP.
  return {TCameraFault::RejectAccount, ProfileOf(series).site.upload_fault,
          TCameraFault::OldVersion, TCameraFault::NotListening};
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
    const TSimSitePlan& plan = ProfileOf(series).site;
    TRepoAddOptions add;
    add.root = options.repo_root;
    add.folder = "system";
    add.section = std::string(plan.section);
    add.series = series;
    add.version = std::string(plan.latest);
    add.excluded = std::string(plan.excluded);
    add.size = options.firmware_size;
    scenario.firmware.push_back(add);
  }
  // Faulty cameras are spread evenly, so that every series and job slot meets some.
  const int every = options.faulty > 0 ? options.count / options.faulty : 0;
  int faults_given = 0;
  int excluded_given = 0, up_to_date_given = 0;
  for (int i = 0; i < options.count; ++i) {
    const TSimSeries series = options.series[static_cast<std::size_t>(i) % options.series.size()];
    const TSimSitePlan& plan = ProfileOf(series).site;
    TCameraConfig camera;
    camera.series = series;
    camera.ip = AddressPlus(options.base_ip, i);
    camera.port = options.port;
    camera.password = options.password;
    camera.sys_version = std::string(plan.current);
    camera.model = std::string(plan.model);
    camera.name = SeriesText(series) + "-" + std::to_string(i + 1);
    char mac[18];
    std::snprintf(mac, sizeof mac, "00:11:22:%02X:%02X:%02X", (i >> 16) & 255, (i >> 8) & 255,
                  i & 255);
    camera.mac = mac;
    camera.device_id = "SITE-" + std::to_string(i + 1);
    if (every > 0 && faults_given < options.faulty && i % every == every - 1) {
      const std::vector<TCameraFault> faults = SiteFaults(series);
      camera.faults.insert(faults[static_cast<std::size_t>(faults_given) % faults.size()]);
      ++faults_given;
    } else if (excluded_given < options.excluded) {
      camera.sys_version = std::string(plan.excluded);
      ++excluded_given;
    } else if (up_to_date_given < options.up_to_date) {
      camera.sys_version = std::string(plan.latest);
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
