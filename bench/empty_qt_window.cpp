// The reference for the time to the first window: an empty Qt Widgets window that, like camlift
// with CAMLIFT_EXIT_AFTER_SHOW=1, leaves as soon as it has been shown.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(640, 480);
  window.show();
  QTimer::singleShot(0, &app, &QApplication::quit);
  return app.exec();
}
