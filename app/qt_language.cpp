#include "app/qt_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstring>
#include <iterator>
#include <memory>

#include "app/app_ids.h"
#include "app/app_text.h"
#include "platform/trace.h"

namespace tw {
namespace {

// The standard button texts, for a station without Qt's translation files.
class ButtonTexts : public QTranslator {
 public:
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* source, const char*, int) const override {
    if (!context || !source || std::strcmp(context, "QPlatformTheme") != 0) return {};
    // In the order of the string table entries from IDS_QT_BUTTONS on.
    static const char* const kSources[] = {"&Yes",  "&No",  "Cancel", "Retry",   "Abort", "Ignore",
                                           "Close", "Save", "Open",   "Discard", "Apply", "Help"};
    for (size_t i = 0; i < std::size(kSources); ++i)
      if (std::strcmp(source, kSources[i]) == 0)
        return Tr(IDS_QT_BUTTONS + static_cast<int>(i));
    return {};
  }
};

std::unique_ptr<QTranslator>& Installed() {
  static std::unique_ptr<QTranslator> translator;
  return translator;
}

}  // namespace

void ApplyQtLanguage(Language lang) {
  auto& installed = Installed();
  if (installed) {
    QCoreApplication::removeTranslator(installed.get());
    installed.reset();
  }
  if (lang != Language::German) return;
  auto qt = std::make_unique<QTranslator>();
  if (qt->load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    installed = std::move(qt);
  } else {
    Trace("Qt's German translations not found; standard buttons named from the program's table");
    installed = std::make_unique<ButtonTexts>();
  }
  QCoreApplication::installTranslator(installed.get());
}

}  // namespace tw
