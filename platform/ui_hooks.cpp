#include "platform/ui_hooks.h"

namespace tw {
namespace {
UiHooks gHooks;
}

void SetUiHooks(const UiHooks& hooks) { gHooks = hooks; }
const UiHooks& GetUiHooks() { return gHooks; }

void PumpUiEvents() {
  if (gHooks.pumpEvents) gHooks.pumpEvents();
}

void* DisableAppWindow(bool* wasEnabled) {
  if (wasEnabled) *wasEnabled = true;
  if (gHooks.disableWindow) return gHooks.disableWindow(wasEnabled);
  return nullptr;
}

void RestoreAppWindow(void* token, bool wasEnabled) {
  if (gHooks.restoreWindow) gHooks.restoreWindow(token, wasEnabled);
}

void BeginWaitCursor() {
  if (gHooks.beginWaitCursor) gHooks.beginWaitCursor();
}

void EndWaitCursor() {
  if (gHooks.endWaitCursor) gHooks.endWaitCursor();
}

}  // namespace tw
