// SPDX-License-Identifier: Apache-2.0
// The UI hand-off with Qt: a call from a worker thread runs on the GUI thread through a blocking
// queued invocation; a call on the GUI thread runs at once.
#pragma once

#include <QObject>

#include "platform/dispatcher.h"

namespace camlift::gui {

class TQtDispatcher final : public IUiDispatcher {
 public:
  explicit TQtDispatcher(QObject* context) : context_(context) {}
  void Invoke(const std::function<void()>& fn) override;
  // Delivers the queued calls posted to the context object, and nothing else: the GUI thread
  // runs this while it waits for a listener thread, and no timer or input event may run then.
  int ProcessPending() override;

 private:
  QObject* context_;
};

}  // namespace camlift::gui
