// SPDX-License-Identifier: Apache-2.0
// The camera selection dialog at site scale, shown under a real display (scripts/bench.sh runs
// it under Xvfb beside `camlift-sim site`): the real dialog, its real search, its item view.
//   camlift_dialog_bench fill N   list full after the first reply; UI-thread CPU per pass
//   camlift_dialog_bench flap N S 200 changed replies a second for S seconds: input latency
//   camlift_dialog_bench idle N S nothing changes for S seconds: user and kernel CPU
// Each prints "name value" lines.
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "device_list_model.h"
#include "i18n/str_res.h"
#include "i18n/str_resource.h"
#include "select_dialog.h"

using namespace camlift;
using namespace camlift::gui;

namespace {

double CpuMs(const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; }

// Runs the event loop until done() or the time is up, looking every poll_ms (a loop that spins
// would measure itself).
bool WaitFor(const std::function<bool()>& done, int limit_ms, int poll_ms = 2) {
  if (done()) return true;
  QEventLoop loop;
  QElapsedTimer timer;
  timer.start();
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done() || timer.elapsed() > limit_ms) loop.quit();
  });
  poll.start(poll_ms);
  loop.exec();
  return done();
}

// Records how long a posted key press waits before the view gets it.
class TLatencyProbe : public QObject {
 public:
  std::vector<double> delays_ms;
  QElapsedTimer clock;
  qint64 posted_ns = -1;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::KeyPress && posted_ns >= 0) {
      delays_ms.push_back((clock.nsecsElapsed() - posted_ns) / 1e6);
      posted_ns = -1;
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s fill|flap|idle CAMERAS [SECONDS]\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  const int cameras = std::atoi(argv[2]);
  const int seconds = argc > 3 ? std::atoi(argv[3]) : 10;
  QApplication app(argc, argv);
  TfrmStrRes store;
  SetLanguage("en");
  TfrmAdv_Main dialog;
  dialog.show();
  TDeviceListModel* model = dialog.Model();
  const auto shown = [&] { return model->rowCount(); };

  if (!WaitFor([&] { return shown() > 0; }, 30000)) {
    std::printf("error no_rows\n");
    return 1;
  }
  QElapsedTimer fill;
  fill.start();
  const bool full = WaitFor([&] { return shown() >= cameras; }, 30000);
  std::printf("fill_ms %.1f\nrows %d\n", full ? fill.nsecsElapsed() / 1e6 : -1.0, shown());
  std::fflush(stdout);

  if (mode == "fill") {
    // UI-thread CPU per search pass in the steady state: every reply parsed, the list and the
    // view kept up, the window painted.
    WaitFor([] { return false; }, 2000, 100);
    // User time and kernel time apart: on loopback the kernel delivers every broadcast to each
    // simulated camera's socket inside our sendto.
    const int first_tick = dialog.Engine().TickNumber();
    rusage before{};
    getrusage(RUSAGE_THREAD, &before);
    WaitFor([&] { return dialog.Engine().TickNumber() >= first_tick + 10; }, 30000, 50);
    rusage after{};
    getrusage(RUSAGE_THREAD, &after);
    const int passes = dialog.Engine().TickNumber() - first_tick;
    const double n = std::max(1, passes);
    std::printf("pass_ui_user_ms %.2f\npass_ui_system_ms %.2f\npasses %d\n",
                (CpuMs(after.ru_utime) - CpuMs(before.ru_utime)) / n,
                (CpuMs(after.ru_stime) - CpuMs(before.ru_stime)) / n, passes);
    return 0;
  }
  if (mode == "flap") {
    // 200 replies a second that change a row (name and address flap, so rows change and move),
    // handed to the list on the UI thread as the search hands its replies; a key press posted
    // every 20 ms measures how long input waits.
    std::mt19937 random(7);
    TLatencyProbe probe;
    probe.clock.start();
    dialog.ListView()->installEventFilter(&probe);
    int flips = 0;
    QTimer flapping;
    QObject::connect(&flapping, &QTimer::timeout, [&] {
      const auto& rows = dialog.List().Rows();
      if (rows.empty()) return;
      TDevInfo row = rows[std::uniform_int_distribution<std::size_t>(0, rows.size() - 1)(random)];
      row.DevName = (flips % 2 ? "flap-a-" : "flap-b-") + std::to_string(flips);
      row.IPAddr = "127.0.99." + std::to_string(flips % 250);
      ++flips;
      dialog.List().OnRecord(row);
    });
    flapping.start(5);
    QTimer keys;
    QObject::connect(&keys, &QTimer::timeout, [&] {
      if (probe.posted_ns >= 0) return;
      probe.posted_ns = probe.clock.nsecsElapsed();
      QApplication::postEvent(dialog.ListView(),
                              new QKeyEvent(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier));
    });
    keys.start(20);
    QElapsedTimer run;
    run.start();
    WaitFor([&] { return run.elapsed() >= seconds * 1000; }, seconds * 1000 + 1000, 50);
    flapping.stop();
    keys.stop();
    std::vector<double> d = probe.delays_ms;
    std::sort(d.begin(), d.end());
    std::printf("flaps_per_s %.0f\n", flips * 1000.0 / std::max<qint64>(1, run.elapsed()));
    if (!d.empty()) {
      std::printf("input_p50_ms %.2f\ninput_p99_ms %.2f\ninput_max_ms %.2f\nsamples %zu\n",
                  d[d.size() / 2], d[d.size() * 99 / 100], d.back(), d.size());
    }
    return 0;
  }
  // idle: the list holds every camera and nothing changes; the process's CPU, user and kernel.
  WaitFor([] { return false; }, 3000, 100);
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  QElapsedTimer run;
  run.start();
  WaitFor([&] { return run.elapsed() >= seconds * 1000; }, seconds * 1000 + 1000, 250);
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  const double wall = run.nsecsElapsed() / 1e6;
  std::printf("user_percent %.2f\nsystem_percent %.2f\nrows_end %d\n",
              100.0 * (CpuMs(after.ru_utime) - CpuMs(before.ru_utime)) / wall,
              100.0 * (CpuMs(after.ru_stime) - CpuMs(before.ru_stime)) / wall, shown());
  return 0;
}
