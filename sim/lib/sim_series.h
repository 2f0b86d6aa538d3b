// SPDX-License-Identifier: Apache-2.0
// The series of the simulated cameras, one profile row each (sim_series.cpp): everything in which
// a camera of one series differs from one of another is read from its row - pages and their
// account rule, upload CGIs, the upload port, the form its firmware takes, version texts, the
// search dialect it answers, its other sides, its line of a site. No other code tests the series
// letter; a difference between series that is not here yet becomes a field of the row.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sim_faults.h"

namespace camlift::sim {

enum class TSimSeries { K, M, P, R };

// Where a camera takes the account of a request from.
enum class TSimAccount {
  Basic,     // "Authorization: Basic ..."; a camera without a password also takes a request
             // without the header
  UserPwd,   // "?user=..&pwd=.." in the query (values percent-decoded)
  LoginUse,  // "?loginuse=..&loginpas=.." in the query
};

// What a camera's pages answer to a wrong account.
enum class TSimRefusal {
  Challenge,   // 401, a page saying "401 Unauthorized", WWW-Authenticate: Basic realm="ipcamera"
  AuthFailed,  // 401 with the text "Auth Failed" and nothing else
};

// How firmware reaches the camera, and so the form a repository keeps it in.
enum class TSimDelivery {
  UploadCgi,       // a simulated firmware file (".bin" in the archive) posted to an upload CGI
  CommandService,  // a package (".pk2") sent over series K's command service (ctp_extension.h),
                   // which also answers the CTP search
};

// The series' cameras in `camlift-sim site`: one firmware behind the repository.
struct TSimSitePlan {
  std::string_view model;
  std::string_view section;   // the catalogue section the upgrader builds for such a camera
  std::string_view current;   // the version the cameras run
  std::string_view latest;    // the version the repository holds
  std::string_view excluded;  // a version of the same section that the catalogue's NO list names
  TCameraFault upload_fault;  // what fails the upload of a camera that misbehaves
};

struct TSimSeriesProfile {
  TSimSeries series;
  std::string_view letter;  // --series, scenario files, the record, firmware headers

  // The pages "/oem.txt", "/appver.js" (both always ask for the account) and "/get_status.cgi".
  TSimAccount page_account;
  TSimRefusal page_refusal;
  bool status_needs_account;
  std::string_view status_alias;       // the status page under a second path ("": none)
  char status_quote;                   // around each value of the status page
  std::string_view ui_version_prefix;  // before the UI version in "/appver.js"

  // Firmware.
  TSimDelivery delivery;
  std::string_view system_upload;  // the upload CGIs (UploadCgi)
  std::string_view ui_upload;
  TSimAccount upload_account;
  bool upload_port;  // pages and upload CGIs also on the setting upload_port
  // The bytes that start a firmware file of this series before its simulated header.
  std::string_view system_signature;
  std::string_view ui_signature;

  // Other sides.
  std::string_view search_dialect;  // answered when a camera names none (search_responder_ext.h)
  bool config_calls;  // the configuration pages and the 8600 settings datagram (r730_sim_config.h)

  TSimSitePlan site;
};

// The rows, K, M, P, R.
std::span<const TSimSeriesProfile> SeriesProfiles();
const TSimSeriesProfile& ProfileOf(TSimSeries series);

// Whether the series' cameras have the side a fault acts on.
bool HasSide(const TSimSeriesProfile& profile, TFaultSide side);
// Why a camera of the series cannot take the fault ("" when it can), naming the series that can.
std::string FaultMismatch(TSimSeries series, TCameraFault fault);

// "K", "M", "P", "R" (upper or lower case); nullopt otherwise.
std::optional<TSimSeries> ParseSeries(std::string_view text);
std::string SeriesText(TSimSeries series);  // "M"
// "K, M, P or R", for help texts and messages.
std::string SeriesList();

}  // namespace camlift::sim
