// SPDX-License-Identifier: Apache-2.0
#include "qt_dispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QThread>

namespace camlift::gui {

void TQtDispatcher::Invoke(const std::function<void()>& fn) {
  if (QThread::currentThread() == context_->thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(
      context_, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

int TQtDispatcher::ProcessPending() {
  if (QThread::currentThread() != context_->thread()) return 0;
  // A blocking queued call arrives as a meta-call event on the context object.
  QCoreApplication::sendPostedEvents(context_, QEvent::MetaCall);
  return 0;
}

}  // namespace camlift::gui
