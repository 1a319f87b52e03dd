// Hooks through which the SDK reaches the user interface while a transaction waits: pump pending
// events, disable the application window (and later restore it and its focus), the wait cursor.
// Headless front ends register nothing and get the do-nothing defaults.
#pragma once

namespace tw {

struct UiHooks {
  // Process pending UI events once (never blocks).
  void (*pumpEvents)() = nullptr;
  // Disable the active top-level window; returns an opaque token for RestoreWindow, and whether the
  // window was enabled before.
  void* (*disableWindow)(bool* wasEnabled) = nullptr;
  void (*restoreWindow)(void* token, bool wasEnabled) = nullptr;
  void (*beginWaitCursor)() = nullptr;
  void (*endWaitCursor)() = nullptr;
};

// Replaces all hooks at once; call from the UI thread before the first SDK call.
void SetUiHooks(const UiHooks& hooks);
const UiHooks& GetUiHooks();

void PumpUiEvents();
void* DisableAppWindow(bool* wasEnabled);
void RestoreAppWindow(void* token, bool wasEnabled);
void BeginWaitCursor();
void EndWaitCursor();

}  // namespace tw
