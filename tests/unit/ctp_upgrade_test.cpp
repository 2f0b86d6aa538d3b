// SPDX-License-Identifier: Apache-2.0
// UpgradeByCtp against the simulated CTP camera on loopback, and the series K upgraders.
#include "ctp/ctp_upgrade.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "ctp/ctp_session.h"
#include "ctp/pk2_format.h"
#include "ctp_camera.h"
#include "i18n/str_res.h"
#include "i18n/str_resource.h"
#include "pk2_builder.h"
#include "platform/timing.h"
#include "support/temp_folder.h"
#include "upgrade/upgrade_k.h"
#include "util/md5.h"

namespace camlift {
namespace {

using sim::TCameraFault;
using sim::TCtpCamera;
using sim::TCtpCameraSettings;
using sim::TCtpStandaloneServer;
using sim::TPk2Builder;

class CtpUpgrade : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTimeScaleForTesting(0.001);
    SetLanguage("en");
    ASSERT_EQ("IP camera login failed, please check the user and password!",
              GetLangStr("IDS_LOGINERROR"));
  }
  void TearDown() override { SetTimeScaleForTesting(-1); }

  // A camera whose port closes for a moment after a complete transfer (its restart).
  struct Camera {
    std::shared_ptr<sim::TSimRecorder> recorder = std::make_shared<sim::TSimRecorder>();
    std::shared_ptr<TCtpCamera> ctp;
    std::unique_ptr<TCtpStandaloneServer> server;
    int away_ms = 20;

    explicit Camera(std::set<TCameraFault> faults = {}, std::string password = "") {
      TCtpCameraSettings settings;
      settings.name = "k-test";
      settings.password = std::move(password);
      settings.faults = std::move(faults);
      ctp = std::make_shared<TCtpCamera>(settings, recorder,
                                         [this](const std::vector<sim::TCtpReceivedFile>&) {
                                           {
                                             const std::lock_guard lock(mutex);
                                             ++restarts;
                                           }
                                           restarted.notify_all();
                                           server->GoAway(away_ms);
                                         });
      server = std::make_unique<TCtpStandaloneServer>(ctp);
    }
    ~Camera() { server->Stop(); }  // before the counters its connections touch go away
    // The camera restarts when it sees the connection that delivered the package end, on its
    // own thread, which may come after the client has returned: the count once it reached
    // expected, or what it is after a generous bound.
    int Restarts(int expected) {
      std::unique_lock lock(mutex);
      restarted.wait_for(lock, std::chrono::seconds(20), [&] { return restarts >= expected; });
      return restarts;
    }
    std::mutex mutex;
    std::condition_variable restarted;
    int restarts = 0;  // guarded by mutex

    // The requests the camera recorded. The camera records a request after its answer, on its
    // own thread, so the client may return before the last one is on record. After an upgrade
    // (settled): once the camera recorded the end of the connection that carried the upgrade,
    // by which time that connection's requests are all on record, or what is there after a
    // generous bound.
    std::vector<std::string> Requests(bool settled = false) const {
      const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      for (;;) {
        const std::vector<nlohmann::json> entries = recorder->Entries();
        bool ended = false;
        for (const auto& entry : entries) ended = ended || entry.contains("event");
        if (!settled || ended || std::chrono::steady_clock::now() > bound) {
          return sim::CtpRequestLines(entries);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
  };

  std::string Package(const TPk2Builder& builder) {
    const std::string path = folder_.path() + "fw.pk2";
    test::WriteFile(path, builder.Bytes());
    return path;
  }

  TfrmStrRes language_;
  test::TTempFolder folder_;
};

TEST_F(CtpUpgrade, SuccessfulTransfer) {
  Camera camera;
  std::string data(5000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  const std::string path =
      Package(TPk2Builder().AddFile("sys.img", data).AddRaw("NOTE", "skipped").AddCommand("go"));
  std::string message = "before";
  ASSERT_TRUE(UpgradeByCtp(path, "127.0.0.1", camera.server->port(), "admin", "", message));
  EXPECT_EQ("before", message);
  EXPECT_EQ(1, camera.Restarts(1));
  const auto files = camera.ctp->LastTransfer();
  ASSERT_EQ(1u, files.size());
  EXPECT_EQ("sys.img", files[0].name);
  EXPECT_EQ(Md5Hex(data), files[0].md5);
  EXPECT_EQ((std::vector<std::string>{"CMD cfgusr CTP/1.0", "CMD exit CTP/1.0", "CMD 10", "FILE 12",
                                      "DATA 1400", "DATA 1400", "DATA 1400", "DATA 800", "MD5 16",
                                      "CMD 2"}),
            camera.Requests(true));
}

TEST_F(CtpUpgrade, EmptyPackageStillRunsEverySession) {
  Camera camera;
  const std::string path = Package(TPk2Builder());
  std::string message;
  EXPECT_TRUE(UpgradeByCtp(path, "127.0.0.1", camera.server->port(), "admin", "", message));
  EXPECT_EQ("", message);
  EXPECT_EQ((std::vector<std::string>{"CMD cfgusr CTP/1.0", "CMD exit CTP/1.0", "CMD 10"}),
            camera.Requests(true));
}

TEST_F(CtpUpgrade, FailuresAndTheirMessages) {
  struct Case {
    const char* what;
    std::set<TCameraFault> faults;
    const char* message;  // nullptr: success, the message is left alone
  };
  const Case cases[] = {
      {"login refused",
       {TCameraFault::CtpLoginRefused},
       "IP camera login failed, please check the user and password!"},
      {"silent camera",
       {TCameraFault::CtpSilent},
       "IP camera login failed, please check the user and password!"},
      {"exit refused",
       {TCameraFault::CtpExitRefused},
       "IP camera exit current mode operation failed!"},
      {"probe unanswered",
       {TCameraFault::CtpProbeUnanswered},
       "IP Camera access to upgrade the mode of failure!"},
      {"data block refused", {TCameraFault::CtpDataRefused}, "Error on reading ROM for upgrade."},
      {"closed mid-transfer", {TCameraFault::CloseMidUpload}, "Error on reading ROM for upgrade."},
      {"continue, then ok", {TCameraFault::CtpContinue}, nullptr},
  };
  const std::string path =
      Package(TPk2Builder().AddFile("sys.img", std::string(4000, 'x')).AddCommand("go"));
  for (const Case& c : cases) {
    Camera camera(c.faults);
    std::string message = "before";
    const bool ok = UpgradeByCtp(path, "127.0.0.1", camera.server->port(), "admin", "", message);
    EXPECT_EQ(c.message == nullptr, ok) << c.what;
    EXPECT_EQ(c.message ? c.message : "before", message) << c.what;
    // A failure restarts nothing; a success restarts the camera once.
    EXPECT_EQ(c.message ? 0 : 1, camera.Restarts(c.message ? 0 : 1)) << c.what;
  }
}

// The header's count decides how many entries go out: a package file that ends before its count
// ran down is not all sent, though the camera accepted every entry the file has.
TEST_F(CtpUpgrade, EntryCountDecidesWhatIsSent) {
  struct Case {
    const char* what;
    std::int32_t count;
    const char* message;               // the failure message, none for success
    std::vector<std::string> entries;  // the requests after the probe
  };
  const Case cases[] = {
      {"count as built", 2, nullptr, {"CMD 2", "CMD 3"}},
      {"fewer than built", 1, nullptr, {"CMD 2"}},
      {"more than the file holds", 3, "Error on reading ROM for upgrade.", {"CMD 2", "CMD 3"}},
  };
  for (const Case& c : cases) {
    Camera camera;
    const std::string path =
        Package(TPk2Builder().AddCommand("go").AddCommand("end").SetCount(c.count));
    std::string message = "before";
    const bool ok = UpgradeByCtp(path, "127.0.0.1", camera.server->port(), "admin", "", message);
    EXPECT_EQ(c.message == nullptr, ok) << c.what;
    EXPECT_EQ(c.message ? c.message : "before", message) << c.what;
    const std::vector<std::string> requests = camera.Requests(true);
    const auto probe = std::find(requests.begin(), requests.end(), "CMD 10");
    ASSERT_NE(requests.end(), probe) << c.what;
    EXPECT_EQ(c.entries, std::vector<std::string>(probe + 1, requests.end())) << c.what;
  }
}

// A header that promises a negative number of entries is refused before the camera is asked to
// leave its mode: it would wait in its upgrade mode for a package that never comes.
TEST_F(CtpUpgrade, NegativeEntryCountNeverReachesTheCamera) {
  Camera camera;
  const std::string path = Package(TPk2Builder().AddCommand("go").AddCommand("end").SetCount(-1));
  const std::size_t before = camera.recorder->Entries().size();
  std::string message;
  EXPECT_FALSE(UpgradeByCtp(path, "127.0.0.1", camera.server->port(), "admin", "", message));
  EXPECT_EQ("Upgrade file verification failed, please choose the correct upgrade file!", message);
  EXPECT_EQ(before, camera.recorder->Entries().size());
}

TEST_F(CtpUpgrade, WrongAccountAndBadPackages) {
  Camera camera({}, "secret");
  const std::string good = Package(TPk2Builder().AddCommand("go"));
  std::string message;
  EXPECT_FALSE(UpgradeByCtp(good, "127.0.0.1", camera.server->port(), "admin", "wrong", message));
  EXPECT_EQ("IP camera login failed, please check the user and password!", message);
  // The camera writes its record of that session on its own thread: let it finish first.
  for (std::size_t seen = 0, same = 0; same < 10;
       std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
    const std::size_t now = camera.recorder->Entries().size();
    same = now == seen ? same + 1 : 0;
    seen = now;
  }

  // A package refused before any connection is made.
  for (const std::string& bytes : {"PK2X" + std::string(24, '\0'), std::string("PK2\0", 4)}) {
    const std::string path = folder_.path() + "bad.pk2";
    test::WriteFile(path, bytes);
    const std::size_t before = camera.recorder->Entries().size();
    EXPECT_FALSE(
        UpgradeByCtp(path, "127.0.0.1", camera.server->port(), "admin", "secret", message));
    EXPECT_EQ("Upgrade file verification failed, please choose the correct upgrade file!", message);
    EXPECT_EQ(before, camera.recorder->Entries().size());
  }
}

TEST_F(CtpUpgrade, AddressesThatCannotBeReached) {
  const std::string path = Package(TPk2Builder().AddCommand("go"));
  std::string message;
  EXPECT_FALSE(UpgradeByCtp(path, "camera.local", 81, "admin", "", message));
  EXPECT_EQ("IP camera connected failure!", message);

  int closed_port = 0;
  {
    Camera gone;
    closed_port = gone.server->port();
  }
  EXPECT_FALSE(UpgradeByCtp(path, "127.0.0.1", closed_port, "admin", "", message));
  EXPECT_EQ("IP camera connected failure!", message);
}

// Once every entry was accepted the camera has its firmware: whether it comes back is the
// worker's bounded return wait, not a count of connection attempts here.
TEST_F(CtpUpgrade, AcceptedPackageIsSuccessEvenWhileTheCameraIsAway) {
  Camera camera;
  camera.away_ms = -1;
  const std::string path = Package(TPk2Builder().AddFile("sys.img", "abc"));
  std::string message = "before";
  EXPECT_TRUE(UpgradeByCtp(path, "127.0.0.1", camera.server->port(), "admin", "", message));
  EXPECT_EQ("before", message);
  EXPECT_EQ(1, camera.Restarts(1));
}

TEST_F(CtpUpgrade, StopRequestEndsTheWaits) {
  Camera camera;
  // Two pauses of 5 s between the sessions, stretched to 300 s each: only a stop that ends the
  // waits returns within the bound below.
  SetTimeScaleForTesting(60.0);
  const std::string path = Package(TPk2Builder().AddCommand("go"));
  std::atomic<bool> cancel{true};
  const TRunControl control({}, &cancel);
  std::string message;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(
      UpgradeByCtp(path, "127.0.0.1", camera.server->port(), "admin", "", message, control));
  EXPECT_EQ("The upgrade was stopped by the user.", message);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
  // A stop asked for before session A: the camera never hears the login that would make it
  // leave its mode.
  EXPECT_EQ(std::vector<std::string>{}, camera.Requests());
}

TEST(KUpgraders, NamesKeysAndComparison) {
  for (const auto& [file, local] : std::vector<std::pair<std::string, std::string>>{
           {"  fw_1.2.3.4.zip ", "fw_1.2.3.4.pk2"}, {"abcd", ".pk2"}, {"abc", "abc.pk2"}}) {
    EXPECT_EQ(local, Pk2LocalFileName(file)) << file;
  }
  TKSYSUpgrade sys;
  EXPECT_EQ(".pk2", sys.LocalFileName());
  EXPECT_EQ(".pk2", TKUIUpgrade().LocalFileName());

  struct KeyCase {
    std::string version;
    std::string key;
  };
  for (const KeyCase& c : std::vector<KeyCase>{
           {"10.22.33.44.55", "10.22.X.44"}, {"1.2.3.4", "1.2.X.4"}, {"1.2.3", ""}, {"", ""}}) {
    sys.SetCurrentVersion(c.version);
    EXPECT_EQ(c.key, sys.ModelKey()) << c.version;
  }
  sys.SetModel("K100");
  EXPECT_EQ("K100", sys.ModelKey());
  sys.SetModel("");

  struct SameCase {
    std::string current;
    std::string given;
    bool same;
  };
  for (const SameCase& c : std::vector<SameCase>{{"1.2.7.4", "9.9.7.9", true},
                                                 {"1.2.7.4", "1.2.8.4", false},
                                                 {"1.2. 7 .4", "1.2.7.4", true},
                                                 {"1.2.\t7\r.4", "1.2.7.4", true},
                                                 {"1.2.7", "1.2.7.4", false},
                                                 {"1.2.7.4", "1.2.7", false},
                                                 {"1.2.a.4", "1.2.A.4", false}}) {
    sys.SetCurrentVersion(c.current);
    EXPECT_EQ(c.same, sys.IsSameVersion(c.given)) << c.current << " / " << c.given;
  }
}

}  // namespace
}  // namespace camlift
