// SPDX-License-Identifier: Apache-2.0
// The reference for the time to the first window: an empty Qt Widgets window that, like camlift
// with CAMLIFT_EXIT_AFTER_SHOW=1, says "first window shown" and leaves as soon as it is up.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(640, 480);
  window.show();
  QTimer::singleShot(0, &app, [] {
    std::fputs("first window shown\n", stdout);
    std::fflush(stdout);
    QApplication::quit();
  });
  return app.exec();
}
