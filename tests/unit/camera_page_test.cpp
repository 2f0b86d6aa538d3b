// SPDX-License-Identifier: Apache-2.0
#include "discovery/camera_page.h"

#include <gtest/gtest.h>

namespace camlift {
namespace {

TEST(CameraPage, AccountQueriesAreEncodedAndTrimmedWhereTheCamerasTrim) {
  EXPECT_EQ("user=admin&pwd=a%26b%23c%20d", UserPwdQuery(" admin ", "\ta&b#c d "));
  EXPECT_EQ("user=%20admin%20&pwd=%09a%26b",
            UserPwdQuery(" admin ", "\ta&b", TAccountText::AsTyped));
  EXPECT_EQ("loginuse=admin&loginpas=p%3Dq", LoginQuery("admin ", "p=q"));
  EXPECT_EQ("loginuse=%20admin&loginpas=", LoginQuery(" admin", "", TAccountText::AsTyped));
}

TEST(CameraPage, RefusalsOfTheAccount) {
  struct Case {
    long status;
    const char* page;
    bool page_refuses, series_r_refuses;
  };
  for (const Case& c :
       {Case{200, "Auth Failed", true, true}, Case{200, "var result=\"Auth Failed\";", true, true},
        Case{401, "", false, true},
        Case{200, "auth failed", false, false},  // the cameras write it so
        Case{200, "Unauthorized", false, false}, Case{200, "ACME", false, false}}) {
    EXPECT_EQ(c.page_refuses, PageRefusesAccount(c.page)) << c.page;
    EXPECT_EQ(c.series_r_refuses, SeriesRRefusesAccount(c.status, c.page)) << c.status << c.page;
  }
}

}  // namespace
}  // namespace camlift
