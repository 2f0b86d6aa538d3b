// SPDX-License-Identifier: Apache-2.0
#include "r730/network_settings_check.h"

#include <gtest/gtest.h>

#include "i18n/str_res.h"
#include "i18n/str_resource.h"

namespace camlift {
namespace {

TEST(NetworkSettingsCheck, RefusesWhatWouldLeaveTheCameraUnreachable) {
  struct Case {
    const char* ip;
    const char* mask;
    const char* gateway;
    const char* dns;
    int port;
    bool dhcp;
    const char* key;                       // "" when the settings may go
    const char* current = "192.168.1.60";  // where the camera answers now
  };
  const Case cases[] = {
      {"192.168.1.50", "255.255.255.0", "192.168.1.1", "8.8.8.8", 81, false, ""},
      {"10.1.2.3", "255.0.0.0", "", "", 80, false, ""},                 // no gateway, no DNS
      {"10.1.2.3", "255.255.0.0", "0.0.0.0", "0.0.0.0", 1, false, ""},  // 0.0.0.0 is none
      {"127.0.0.9", "255.0.0.0", "127.0.0.1", "", 65535, false, "", "127.0.0.5"},
      {"127.0.0.9", "255.0.0.0", "", "", 81, false, "IDS_NETBADADDRESS"},  // off loopback now
      {"0.1.2.3", "255.0.0.0", "", "", 81, false, "IDS_NETBADADDRESS"},
      {"10.1.2.3", "255.0.0.0", "127.0.0.1", "", 81, false, "IDS_NETBADGATEWAY"},
      {"", "", "", "", 81, true, ""},  // DHCP: the address comes from the network
      {"192.168.1.300", "255.255.255.0", "", "", 81, false, "IDS_NETBADADDRESS"},
      {"", "255.255.255.0", "", "", 81, false, "IDS_NETBADADDRESS"},
      {"camera.local", "255.255.255.0", "", "", 81, false, "IDS_NETBADADDRESS"},
      {"0.0.0.0", "255.255.255.0", "", "", 81, false, "IDS_NETBADADDRESS"},
      {"239.255.255.250", "255.255.255.0", "", "", 81, false, "IDS_NETBADADDRESS"},
      {"192.168.1.0", "255.255.255.0", "", "", 81, false, "IDS_NETBADADDRESS"},    // the subnet
      {"192.168.1.255", "255.255.255.0", "", "", 81, false, "IDS_NETBADADDRESS"},  // broadcast
      {"192.168.1.50", "255.0.255.0", "", "", 81, false, "IDS_NETBADMASK"},
      {"192.168.1.50", "", "", "", 81, false, "IDS_NETBADMASK"},
      {"192.168.1.50", "0.0.0.0", "", "", 81, false, "IDS_NETBADMASK"},
      {"192.168.1.50", "255.255.255.255", "", "", 81, false, "IDS_NETBADMASK"},
      {"192.168.1.50", "255.255.255.0", "192.168.1.50", "", 81, false, "IDS_NETBADGATEWAY"},
      {"192.168.1.50", "255.255.255.0", "192.168.1", "", 81, false, "IDS_NETBADGATEWAY"},
      {"192.168.1.50", "255.255.255.0", "192.168.1.255", "", 81, false, "IDS_NETBADGATEWAY"},
      {"192.168.1.50", "255.255.255.0", "192.168.2.1", "", 81, false, "IDS_NETGATEWAYOUTSIDE"},
      {"192.168.1.50", "255.255.255.0", "", "8.8.8", 81, false, "IDS_NETBADDNS"},
      {"192.168.1.50", "255.255.255.0", "", "", 0, false, "IDS_NETBADPORT"},
      {"x", "", "", "", 81, true, "IDS_NETBADADDRESS"},
      {"", "", "", "", 0, true, "IDS_NETBADPORT"},
  };
  for (const Case& c : cases) {
    TDevInfo wanted;
    wanted.IPAddr = c.ip;
    wanted.Netmask = c.mask;
    wanted.Gateway = c.gateway;
    wanted.DNS1 = c.dns;
    wanted.DevPort = static_cast<std::uint16_t>(c.port);
    wanted.DhcpFlag = c.dhcp ? 1 : 2;
    EXPECT_STREQ(c.key, NetworkSettingsProblemKey(CheckNetworkSettings(wanted, c.current)))
        << c.ip << " " << c.mask << " " << c.gateway << " " << c.dns << " " << c.port;
  }
}

TEST(NetworkSettingsCheck, EveryProblemIsSaidInEnglish) {
  TfrmStrRes language;
  SetLanguage("en");
  EXPECT_EQ("The gateway is not on the subnet of the IP address and mask.",
            GetLangStr("IDS_NETGATEWAYOUTSIDE"));
  EXPECT_EQ("The port must be between 1 and 65535.", GetLangStr("IDS_NETBADPORT"));
}

}  // namespace
}  // namespace camlift
