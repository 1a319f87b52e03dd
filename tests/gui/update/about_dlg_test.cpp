// The about dialog against a https server on 127.0.0.1: version line, update label states, the
// links, the stored box, the install click, and the main dialog's share of the check.
#include "app/about_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QPointer>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/bitmap_static.h"
#include "app/label.h"
#include "local_https.h"
#include "shell/settings_keys.h"
#include "shell/settings_store.h"
#include "shell/string_table.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

// Stands in for the desktop's "open": records what would have been opened.
class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls.append(url); }
};

std::string List(const std::string& version, const std::string& build, const std::string& installer = "") {
  std::string s = "[Tagwright]\r\nVersion=" + version + "\r\nBuild=" + build + "\r\n";
  if (!installer.empty()) s += "Installer=" + installer + "\r\n";
  return s;
}

void Click(QWidget* w) {
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
}

template <typename Pred>
bool WaitUntil(Pred pred, int ms = 20000) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class AboutDlgTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const char* v : {"https_proxy", "HTTPS_PROXY", "http_proxy", "all_proxy", "ALL_PROXY"}) unsetenv(v);
    static int argc = 1;
    static char name[] = "gui_update";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) new QApplication(argc, argv);
    server_ = new test::LocalHttps();
    recorder_ = new UrlRecorder();
    // No test opens a browser or mail program: the desktop's "open" lands here.
    for (const char* scheme : {"http", "https", "mailto"}) QDesktopServices::setUrlHandler(scheme, recorder_, "open");
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(server_->Ok());
    recorder_->urls.clear();
    std::string tmpl = (fs::temp_directory_path() / "tw-about-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    folder_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  // A check for the list served under name; the closed loopback port when name is empty.
  std::unique_ptr<CUpdateCheck> MakeCheck(const std::string& name, const std::string& list = "") {
    std::string address = "https://127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()) + "/x";
    if (!name.empty()) {
      server_->Serve("/rfid/software/" + name, list);
      address = server_->Url("/rfid/software/" + name);
    }
    settings_.WriteProfileString(settings::kVersion, kListAddressKey, address);
    auto check = std::make_unique<CUpdateCheck>("RFIDVersionsLF.txt", "Tagwright", &settings_);
    check->SetOwnIdentityForTest("1.06", "2026-03-01");
    check->SetCaFileForTest(server_->CaFile());
    return check;
  }
  // Opens the dialog and waits for the update label to leave its first text.
  std::unique_ptr<CAboutDlg> ShowResult(CUpdateCheck& check) {
    auto dlg = std::make_unique<CAboutDlg>(nullptr, &check, &settings_);
    dlg->quietMessages = true;
    const QString first = dlg->UpdateLabel()->text();
    EXPECT_TRUE(WaitUntil([&] { return dlg->UpdateLabel()->text() != first; }));
    return dlg;
  }

  static test::LocalHttps* server_;
  static UrlRecorder* recorder_;
  MemorySettingsStore settings_;
  std::string folder_;
};

test::LocalHttps* AboutDlgTest::server_ = nullptr;
UrlRecorder* AboutDlgTest::recorder_ = nullptr;

TEST_F(AboutDlgTest, VersionLineAndLinks) {
  auto check = MakeCheck("links.txt", List("1.06", "2026-03-01"));
  auto dlg = ShowResult(*check);
  EXPECT_EQ(dlg->windowTitle(), QString::fromUtf8("Info über Tagwright"));
  EXPECT_EQ(dlg->VersionLine()->text(), "Tagwright V 1.06 (2026-03-01)");
  for (CLabel* link : {dlg->WebLabel(), dlg->MailLabel()}) {
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->ForeColour(), QColor(0, 0, 255));
    EXPECT_TRUE(link->HasPointerCursor());
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
  }
  EXPECT_TRUE(dlg->MailLabel()->text().startsWith("mailto:"));
  Click(dlg->WebLabel());
  Click(dlg->MailLabel());
  ASSERT_EQ(recorder_->urls.size(), 2);
  EXPECT_EQ(recorder_->urls[0], QUrl(dlg->WebLabel()->text()));
  EXPECT_EQ(recorder_->urls[1].scheme(), "mailto");
  // The update label's texts are no addresses: nothing is opened for them.
  Click(dlg->UpdateLabel());
  EXPECT_EQ(recorder_->urls.size(), 2);
  EXPECT_TRUE(dlg->UpdateLabel()->font().italic());
  EXPECT_TRUE(dlg->Picture()->Transparent());
}

// Every text shows whole in both languages: no control is narrower than its text, none runs out of
// the dialog or under the logo.
TEST_F(AboutDlgTest, EveryTextFitsInBothLanguages) {
  for (Language lang : {Language::German, Language::English}) {
    SetLanguage(lang);
    auto check = MakeCheck("fit.txt", List("1.06", "2026-03-01"));
    auto dlg = ShowResult(*check);
    const QRect logo = dlg->Picture()->geometry();
    for (QWidget* w : dlg->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (w == dlg->Picture()) continue;
      const QRect r = w->geometry();
      const QString what = w->property("text").toString();
      EXPECT_GE(r.width(), w->sizeHint().width()) << what.toStdString();
      EXPECT_GE(r.height(), w->sizeHint().height()) << what.toStdString();
      EXPECT_TRUE(dlg->rect().contains(r)) << what.toStdString();
      EXPECT_FALSE(r.intersects(logo)) << what.toStdString();
    }
  }
  SetLanguage(Language::German);
}

TEST_F(AboutDlgTest, VersionLineWithoutProductVersion) {
  auto check = MakeCheck("noversion.txt", List("1.06", "2026-03-01"));
  check->SetOwnIdentityForTest("", "2026-03-01");
  CAboutDlg dlg(nullptr, check.get(), &settings_);
  EXPECT_EQ(dlg.VersionLine()->text(), "Tagwright V -.-- (2026-03-01)");
}

TEST_F(AboutDlgTest, UpdateLabelStates) {
  struct Case {
    const char* name;
    std::string list;
    const char* text;
    QColor colour;
    bool clickable;
  } cases[] = {
      {"state-newer.txt", List("1.07", "2026-04-01"), "Neue Version:Tagwright V 1.07 (2026-04-01)", QColor(192, 0, 0), true},
      {"state-current.txt", List("1.06", "2026-03-01"), "Tagwright ist aktuell", QColor(128, 128, 128), false},
      {"state-nosection.txt", "[Andere]\r\nVersion=2.00\r\n", "Keine Datei gefunden: Update Prüfung nicht möglich!",
       QColor(255, 0, 0), false},
      {"", "", "Keine Internet Verbindung: Update Prüfung nicht möglich!", QColor(255, 0, 0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto check = MakeCheck(c.name, c.list);
    auto dlg = ShowResult(*check);
    CLabel* label = dlg->UpdateLabel();
    EXPECT_EQ(label->text(), QString::fromUtf8(c.text));
    EXPECT_EQ(label->ForeColour(), c.colour);
    EXPECT_EQ(label->ClickEnabled(), c.clickable);
    EXPECT_EQ(label->HasPointerCursor(), c.clickable);
  }
}

TEST_F(AboutDlgTest, BoxIsStoredOnOkAndOnCancel) {
  auto check = MakeCheck("");
  settings_.WriteProfileInt(settings::kVersion, settings::kUpdate, 5);
  {
    CAboutDlg dlg(nullptr, check.get(), &settings_);
    EXPECT_EQ(dlg.autoUpdateCheck, 1);
    EXPECT_TRUE(dlg.AutoCheckBox()->isChecked());
    dlg.AutoCheckBox()->setChecked(false);
    dlg.reject();  // the close box
    EXPECT_EQ(settings_.GetProfileInt(settings::kVersion, settings::kUpdate, 1), 0);
  }
  {
    CAboutDlg dlg(nullptr, check.get(), &settings_);
    EXPECT_FALSE(dlg.AutoCheckBox()->isChecked());
    dlg.AutoCheckBox()->setChecked(true);
    dlg.accept();
    EXPECT_EQ(settings_.GetProfileInt(settings::kVersion, settings::kUpdate, 0), 1);
  }
}

TEST_F(AboutDlgTest, CheckSwitchedOffStillAnswersTheDialog) {
  settings_.WriteProfileInt(settings::kVersion, settings::kUpdate, 0);
  auto check = MakeCheck("off.txt", List("1.06", "2026-03-01"));
  QWidget mainDlg;
  auto* watch = new CUpdateWatch(&mainDlg, settings_, check.get());
  int opened = 0;
  watch->openAbout = [&](QWidget*) { ++opened; };
  EXPECT_FALSE(check->IsRunning() || check->IsFinished());
  auto dlg = ShowResult(*check);
  EXPECT_EQ(dlg->UpdateLabel()->text(), "Tagwright ist aktuell");
  EXPECT_EQ(opened, 0);
}

TEST_F(AboutDlgTest, ResultGoesOnlyToTheAboutDialogOpenedWhileTheCheckRuns) {
  // The server answers late, so the dialog is surely open before the result arrives.
  auto check = MakeCheck("slow-running.txt", List("1.07", "2026-04-01"));
  QWidget mainDlg;
  auto* watch = new CUpdateWatch(&mainDlg, settings_, check.get());
  int opened = 0;
  watch->openAbout = [&](QWidget*) { ++opened; };
  ASSERT_TRUE(check->IsRunning());
  auto dlg = ShowResult(*check);
  EXPECT_TRUE(dlg->UpdateLabel()->ClickEnabled());
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  EXPECT_EQ(opened, 0);
  dlg.reset();

  // A main dialog made again (language change) asks again and gets the stored result at once.
  QWidget again;
  auto* watch2 = new CUpdateWatch(&again, settings_, check.get());
  int opened2 = 0;
  QWidget* parent = nullptr;
  watch2->openAbout = [&](QWidget* p) {
    ++opened2;
    parent = p;
  };
  EXPECT_TRUE(WaitUntil([&] { return opened2 == 1; }));
  EXPECT_EQ(parent, &again);
}

TEST_F(AboutDlgTest, DialogClosedBeforeTheResultIsLeftAlone) {
  auto check = MakeCheck("");  // nothing answers: the fetch takes its second of waiting
  auto dlg = std::make_unique<CAboutDlg>(nullptr, check.get(), &settings_);
  QPointer<CAboutDlg> guard(dlg.get());
  dlg->reject();
  dlg.reset();
  EXPECT_TRUE(guard.isNull());
  EXPECT_TRUE(WaitUntil([&] { return check->IsFinished(); }));
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
}

TEST_F(AboutDlgTest, ClickOnTheOfferInstallsAndEndsTheProgram) {
  const std::string marker = folder_ + "/started";
  server_->Serve("/rfid/software/Tagwright-setup.sh", "#!/bin/sh\ntouch '" + marker + "'\n");
  auto check = MakeCheck("install.txt", List("1.07", "2026-04-01", server_->Url("/rfid/software/Tagwright-setup.sh")));
  auto dlg = ShowResult(*check);
  int exits = 0;
  dlg->exitProgram = [&] { ++exits; };
  dlg->installFolder = QString::fromStdString(folder_);
  dlg->AutoCheckBox()->setChecked(false);
  dlg->show();
  Click(dlg->UpdateLabel());
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(dlg->result(), QDialog::Rejected);
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(settings_.GetProfileInt(settings::kVersion, settings::kUpdate, 1), 0);
  EXPECT_TRUE(dlg->LastMessage().isEmpty()) << dlg->LastMessage().toStdString();
  EXPECT_TRUE(fs::exists(folder_ + "/Tagwright-setup.sh"));
  EXPECT_TRUE(WaitUntil([&] { return fs::exists(marker); }));
}

TEST_F(AboutDlgTest, FailedDownloadRestoresTheLabel) {
  auto check = MakeCheck("gone.txt", List("1.07", "2026-04-01", server_->Url("/rfid/software/gone.run")));
  auto dlg = ShowResult(*check);
  int exits = 0;
  dlg->exitProgram = [&] { ++exits; };
  dlg->installFolder = QString::fromStdString(folder_);
  dlg->show();
  const QString offer = dlg->UpdateLabel()->text();
  Click(dlg->UpdateLabel());
  EXPECT_EQ(dlg->UpdateLabel()->text(), offer);
  EXPECT_EQ(exits, 0);
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(AboutDlgTest, PictureWhiteShowsTheBackground) {
  QWidget parent;
  QPalette pal = parent.palette();
  pal.setColor(QPalette::Window, QColor(10, 200, 30));
  parent.setPalette(pal);
  parent.setAutoFillBackground(true);
  parent.resize(40, 20);
  QImage img(16, 16, QImage::Format_RGB32);
  img.fill(Qt::white);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 8; ++x) img.setPixel(x, y, qRgb(200, 0, 0));
  img.setPixel(12, 12, qRgb(254, 255, 255));  // off-white stays visible
  auto* pic = new CBitmapStatic(&parent);
  pic->setPixmap(QPixmap::fromImage(img));
  pic->setGeometry(0, 0, 16, 16);
  const QImage opaque = parent.grab().toImage();
  EXPECT_EQ(QColor(opaque.pixel(12, 4)), QColor(255, 255, 255));
  pic->SetTransparent(true);
  const QImage shot = parent.grab().toImage();
  EXPECT_EQ(QColor(shot.pixel(2, 4)), QColor(200, 0, 0));
  EXPECT_EQ(QColor(shot.pixel(12, 4)), QColor(10, 200, 30));
  EXPECT_EQ(QColor(shot.pixel(12, 12)), QColor(254, 255, 255));
  // Without a picture nothing is drawn and nothing fails.
  pic->setPixmap(QPixmap());
  EXPECT_EQ(QColor(parent.grab().toImage().pixel(2, 4)), QColor(10, 200, 30));
}

}  // namespace
}  // namespace tw

#include "about_dlg_test.moc"
