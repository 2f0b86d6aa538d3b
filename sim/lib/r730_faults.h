// SPDX-License-Identifier: Apache-2.0
// The fault switches of series R's configuration side (r730_sim_config.h), each declared once:
// the rows join the camera's faults (sim_faults.h: one enum, one table of names for scenario
// files and --fault); what each does is written in r730_sim_config.cpp, where the page or the
// datagram answer asks TR730SimBehaviour::has.
#pragma once

// X(fault, name, what). The enum value is TCameraFault::<fault>.
#define CAMLIFT_SIM_R730_FAULTS(X)                                                           \
  X(WifiScanRefused, "wifi-scan-refused", "/wifi_scan.cgi answers \"error\"")                \
  X(WifiScanResultDrops, "wifi-scan-result-drops",                                           \
    "/get_wifi_scan_result.cgi closes the connection without an answer")                     \
  X(RestoreDefaultsRefused, "restore-defaults-refused",                                      \
    "/set_default.cgi answers \"error\" instead of \"ok\"")                                  \
  X(NetworkSettingsRefused, "network-settings-refused",                                      \
    "the network-settings datagram (UDP 8600) is answered with a refusal (0 at offset 324)") \
  X(NetworkSettingsNoise, "network-settings-noise",                                          \
    "a search reply and a stray datagram go out before the answer to a network-settings "    \
    "datagram")                                                                              \
  X(NetworkSettingsSilent, "network-settings-silent",                                        \
    "the network-settings datagram is recorded, but neither taken nor answered")
