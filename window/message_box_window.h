// Message boxes drawn by the engine: a modal window with the caption, one of
// the four system icons, the text wrapped to a comfortable width and the
// request's buttons (captions from the environment file), centred on the
// window that asks. Enter presses the default button, Escape the Cancel
// button (or OK when it is the only one), Alt+letter a button's mnemonic.
// A queued answer (platform::queue_message_box_answer) presses its button as
// soon as the box is shown, so headless runs and scripts can answer.
#pragma once

#include "platform/message_box.h"

namespace morvex {

// Shows the box on the calling thread and returns the button chosen.
platform::MessageBoxButton RunMessageBox(const platform::MessageBoxRequest& request);

// Makes RunMessageBox the platform's message-box presenter.
void InstallDrawnMessageBoxes();

} // namespace morvex
