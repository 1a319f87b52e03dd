// Qt's own texts (the standard buttons of message boxes, file dialogs, context menus) in the
// language of the program's texts: Qt's German translations while the program speaks German.
#pragma once
#include "shell/string_table.h"

namespace tw {

// Installs Qt's translation for lang (German) or removes it (English). Without Qt's translation
// files the standard buttons are still given their German names.
void ApplyQtLanguage(Language lang);

}  // namespace tw
