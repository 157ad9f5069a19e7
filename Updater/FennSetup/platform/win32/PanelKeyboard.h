// Keyboard handling of the panel in every message loop of the thread. The setup's own yield is not
// the only loop that runs while the panel is up: the codec library pumps messages while it
// decompresses. A message hook hands the panel's keystrokes to IsDialogMessage wherever they are
// taken from the queue, so Esc and the access keys work in all of those loops alike.
#pragma once

#include <windows.h>

namespace fenn {

// Starts routing the keystrokes of `panel` and its controls through IsDialogMessage.
void attachPanelKeyboard(HWND panel);
// Stops it; called before the panel is destroyed.
void detachPanelKeyboard();
// For a loop that took `message` from the queue itself: true when the message was the panel's and
// IsDialogMessage has handled it. Only does work when the hook could not be installed.
bool handledAsPanelKeystroke(MSG& message);

}  // namespace fenn
