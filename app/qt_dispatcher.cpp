#include "qt_dispatcher.h"

#include <QMetaObject>
#include <QThread>

namespace camlift::gui {

void TQtDispatcher::Invoke(const std::function<void()>& fn) {
  if (QThread::currentThread() == context_->thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(context_, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

}  // namespace camlift::gui
