// SPDX-License-Identifier: Apache-2.0
// SIGTERM and SIGINT for the window: a session that ends, a service manager or a kill sends
// them while the camera may be restarting after its upload. They reach the window on its own
// thread, which then ends as Cancel ends a run (recorded, logged), and closes.
#pragma once

namespace camlift::gui {

class TfrmCamlift;

// Installs the handlers for as long as the process runs; window must outlive the event loop.
// False when the wake-up pipe cannot be made (the signals then end the program as before).
bool EndWindowOnTermination(TfrmCamlift& window);

}  // namespace camlift::gui
