#include "app/tagwright_app.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QShortcut>
#include <QUrl>

#include "app/app_ids.h"
#include "app/app_text.h"
#include "app/qt_language.h"
#include "app/tagwright_dlg.h"
#include "platform/dynlib.h"
#include "platform/install_dirs.h"
#include "shell/string_table.h"

namespace tw {

const char* CTagwrightApp::EnglishLibraryName() { return "TagwrightEng.so"; }

CTagwrightApp::CTagwrightApp(ISettingsStore& store, QString programDir)
    : store_(store), programDir_(std::move(programDir)) {}

CTagwrightApp::~CTagwrightApp() = default;

bool CTagwrightApp::EnglishActive() const { return english_ && english_->IsLoaded(); }

void CTagwrightApp::ChooseLanguage() {
  const int sprache = store_.GetProfileInt("Settings", "Sprache", 0);
  if (sprache > 0) {
    auto lib = std::make_unique<DynamicLibrary>();
    const std::string path = PrivateDir(programDir_.toStdString()) + "/" + EnglishLibraryName();
    // The library must carry the English table; anything else by that name is ignored.
    using CountFn = int (*)();
    if (lib->Load(path) && lib->Get<CountFn>("TwEnglishTextCount") &&
        lib->Get<CountFn>("TwEnglishTextCount")() > 0) {
      english_ = std::move(lib);  // frees the library of an earlier pass
      ++englishLoads_;
      SetLanguage(Language::English);
    }
  } else if (english_) {
    english_.reset();
    SetLanguage(Language::German);
  }
  ApplyQtLanguage(EnglishActive() ? Language::English : Language::German);
}

void CTagwrightApp::Run() {
  int state = kEndLanguage;
  for (;;) {
    if (state == kEndLanguage) {
      ChooseLanguage();
      state = kEndRecreate;
      continue;
    }
    {
      CTagwrightDlg dlg(store_);
      auto* help = new QShortcut(QKeySequence(Qt::Key_F1), &dlg);
      QObject::connect(help, &QShortcut::activated, &dlg, [this, &dlg] { OpenManual(&dlg, programDir_); });
      if (onDialog) onDialog(dlg);
      state = dlg.exec();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    if (onDialogEnded) onDialogEnded(state);
    if (state != kEndRecreate && state != kEndLanguage) return;
  }
}

QString CTagwrightApp::OpenManual(QWidget* owner, const QString& programDir, bool quiet) {
  // Beside the program first; an installed program keeps its manual with the documentation.
  QString folder = programDir;
  QStringList pdfs = QDir(folder).entryList({"*.pdf"}, QDir::Files, QDir::Unsorted);
  if (pdfs.isEmpty()) {
    folder = QString::fromStdString(DocDir(programDir.toStdString()));
    if (!folder.isEmpty()) pdfs = QDir(folder).entryList({"*.pdf"}, QDir::Files, QDir::Unsorted);
  }
  if (pdfs.isEmpty()) return QString();
  const QString path = QDir(folder).absoluteFilePath(pdfs.first());
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)) && !quiet)
    QMessageBox::warning(owner, Tr(IDS_DLG_TITLE), Tr(IDS_HELP_NO_VIEWER));
  return path;
}

}  // namespace tw
