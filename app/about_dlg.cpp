#include "app/about_dlg.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>

#include "app/app_text.h"
#include "app/bitmap_static.h"
#include "app/label.h"
#include "shell/settings_keys.h"
#include "shell/settings_store.h"
#include "shell/string_table.h"

namespace tw {
namespace {

enum {
  IDC_VERSION = 101,
  IDC_PICTURE = 102,
  IDC_MAIL = 103,
  IDC_WEB = 104,
  IDC_UPDATE = 106,
  IDC_AUTO_CHECK = 1058,
  IDS_NEW_VERSION = 600,
  IDS_IS_CURRENT = 601,
  IDS_NO_CONNECTION = 602,
  IDS_NO_FILE = 603,
  IDS_UPDATE_STARTING = 604,
  IDS_APP_TITLE = 57344,
  IDS_ABOUT_CAPTION = 33100,
  IDS_ABOUT_VERSION, IDS_ABOUT_SEARCH, IDS_ABOUT_AUTO_CHECK, IDS_MAKER_NAME, IDS_MAKER_ADDRESS,
  IDS_MAKER_PHONE, IDS_MAKER_WEB, IDS_MAKER_MAIL, IDS_MAKER_NOTICE, IDS_ABOUT_OK,
};

QString AppTitle() {
  const QString title = Tr(IDS_APP_TITLE);
  return title.isEmpty() ? QStringLiteral("Tagwright") : title;
}

// Places controls by the template's rectangles in dialog units: a quarter of the font's average
// character width across, an eighth of its height down.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    x_ = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    y_ = fm.height();
  }
  QRect Rect(int x, int y, int w, int h) const {
    return QRect(Px(x), Py(y), Px(x + w) - Px(x), Py(y + h) - Py(y));
  }
  int Px(int x) const { return static_cast<int>(x * x_ / 4.0 + 0.5); }
  int Py(int y) const { return static_cast<int>(y * y_ / 8.0 + 0.5); }

 private:
  double x_ = 6;
  double y_ = 13;
};

QLabel* AddStatic(QWidget* parent, const QString& text, QRect rect) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(rect);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(false);
  return label;
}

// The template's rectangles are a minimum: a text longer than its rectangle (another language,
// another font) widens and heightens its control instead of being cut.
void FitToText(QWidget* w) {
  const QSize need = w->sizeHint();
  QRect r = w->geometry();
  r.setWidth(std::max(r.width(), need.width()));
  r.setHeight(std::max(r.height(), need.height()));
  w->setGeometry(r);
}

}  // namespace

QEvent::Type CUpdateEvent::EventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

void CUpdateNotifyTarget::PostUpdateNotify(int id) {
  // Posting is safe from any thread; the event loop hands the events over in this order.
  QCoreApplication::postEvent(receiver_, new CUpdateEvent(CUpdateEvent::Command, id, 0));
  QCoreApplication::postEvent(receiver_, new CUpdateEvent(CUpdateEvent::Message, kUpdateNotifyId, 0));
}

QPixmap MakerLogo() {
  QPixmap logo(76, 76);
  logo.fill(Qt::white);
  QPainter p(&logo);
  p.setRenderHint(QPainter::Antialiasing);
  // A tag with its antenna coil and a "V" in the middle, on white.
  p.setPen(QPen(QColor(0, 70, 140), 3));
  p.setBrush(QColor(225, 235, 245));
  p.drawRoundedRect(QRectF(6, 6, 64, 64), 10, 10);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(200, 110, 0), 2));
  for (int i = 0; i < 3; ++i) p.drawRoundedRect(QRectF(13 + 4 * i, 13 + 4 * i, 50 - 8 * i, 50 - 8 * i), 6, 6);
  QPainterPath v;
  v.moveTo(28, 28);
  v.lineTo(38, 50);
  v.lineTo(48, 28);
  p.setPen(QPen(QColor(0, 70, 140), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(v);
  return logo;
}

CAboutDlg::CAboutDlg(QWidget* parent, CUpdateCheck* check, ISettingsView* settings)
    : QDialog(parent),
      check_(check != nullptr ? *check : TheUpdateCheck()),
      settings_(settings != nullptr ? *settings : UserSettings()),
      notify_(this, check_) {
  autoUpdateCheck = settings_.GetProfileInt(settings::kVersion, settings::kUpdate, settings::kDefaultUpdate) != 0;
  exitProgram = [] { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); };
  BuildControls();
  OnInitDialog();
}

CAboutDlg::~CAboutDlg() { check_.DropNotifyWindow(&notify_); }

void CAboutDlg::BuildControls() {
  setWindowTitle(Tr(IDS_ABOUT_CAPTION));
  setObjectName(QStringLiteral("CAboutDlg"));
  const DialogUnits du(font());
  setFixedSize(du.Px(200), du.Py(205));

  version_ = AddStatic(this, Tr(IDS_ABOUT_VERSION), du.Rect(5, 5, 190, 8));
  version_->setObjectName(QStringLiteral("version"));
  updateLabel_ = new CLabel(this);
  updateLabel_->setObjectName(QStringLiteral("update"));
  updateLabel_->setGeometry(du.Rect(5, 17, 190, 8));
  updateLabel_->ShowText(IDS_ABOUT_SEARCH);
  // As the template has it: the update label does not report clicks until it offers a version.
  updateLabel_->EnableClick(false);
  autoBox_ = new QCheckBox(Tr(IDS_ABOUT_AUTO_CHECK), this);
  autoBox_->setObjectName(QStringLiteral("autoCheck"));
  autoBox_->setGeometry(du.Rect(5, 28, 190, 10));
  autoBox_->setChecked(autoUpdateCheck != 0);
  picture_ = new CBitmapStatic(this);
  picture_->setObjectName(QStringLiteral("logo"));
  const QPixmap logo = MakerLogo();
  picture_->setPixmap(logo);
  picture_->setGeometry(QRect(du.Rect(136, 48, 51, 51).topLeft(), logo.size()));
  AddStatic(this, Tr(IDS_MAKER_NAME), du.Rect(5, 48, 105, 16));
  AddStatic(this, Tr(IDS_MAKER_ADDRESS), du.Rect(5, 68, 80, 16));
  AddStatic(this, Tr(IDS_MAKER_PHONE), du.Rect(5, 91, 105, 16));
  webLabel_ = new CLabel(this);
  webLabel_->setObjectName(QStringLiteral("web"));
  webLabel_->setGeometry(du.Rect(5, 113, 105, 8));
  webLabel_->ShowText(IDS_MAKER_WEB);
  mailLabel_ = new CLabel(this);
  mailLabel_->setObjectName(QStringLiteral("mail"));
  mailLabel_->setGeometry(du.Rect(5, 124, 105, 8));
  mailLabel_->ShowText(IDS_MAKER_MAIL);
  AddStatic(this, Tr(IDS_MAKER_NOTICE), du.Rect(5, 192, 130, 8));
  auto* ok = new QPushButton(Tr(IDS_ABOUT_OK), this);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setGeometry(du.Rect(145, 186, 50, 14));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(updateLabel_, &CLabel::clicked, this, [this] {
    if (offersUpdate_) OnInstall();
  });
}

void CAboutDlg::FitControlsToText() {
  const QRect logo = picture_->geometry();
  QRect all = rect();
  for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (w == picture_ || qobject_cast<QPushButton*>(w)) continue;
    FitToText(w);
    // Texts beside the logo move it to the right rather than run under it.
    const QRect r = w->geometry();
    if (r.top() < logo.bottom() && r.bottom() > logo.top() && r.right() + 8 > picture_->x())
      picture_->move(r.right() + 8, picture_->y());
  }
  for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    all = all.united(w->geometry().adjusted(0, 0, 8, 8));
  setFixedSize(all.size());
}

void CAboutDlg::OnInitDialog() {
  QFont underlined = font();
  underlined.setUnderline(true);
  for (CLabel* link : {mailLabel_, webLabel_}) {
    link->ApplyFont(underlined);
    link->EnableClick(true);
    link->SetForeColour(QColor(0, 0, 255));
    link->SetPointerCursor(QCursor(Qt::PointingHandCursor));
  }
  updateLabel_->SetTypeface(font().family());
  const QFontInfo info(font());
  updateLabel_->SetCharHeight(info.pixelSize());
  updateLabel_->SetItalic(true);
  updateLabel_->SetForeColour(QColor(128, 128, 128));
  picture_->SetTransparent(true);
  version_->setText(version_->text() + ' ' + FromCp1252(check_.OwnVersion()) + " (" +
                    FromCp1252(check_.OwnBuildDate()) + ')');
  FitControlsToText();
  check_.StartCheck(&notify_, kUpdateNotifyId);
}

bool CAboutDlg::event(QEvent* e) {
  if (e->type() == CUpdateEvent::EventType()) {
    const auto* u = static_cast<CUpdateEvent*>(e);
    if (u->kind == CUpdateEvent::Message && u->wParam == kUpdateNotifyId && u->lParam == 0) OnUpdateResult();
    return true;
  }
  return QDialog::event(e);
}

void CAboutDlg::OnUpdateResult() {
  std::string version, build;
  QString text;
  QColor colour;
  offersUpdate_ = false;
  if (!check_.ListVersion(&version, &build)) {
    text = Tr(IDS_NO_CONNECTION);
    colour = QColor(255, 0, 0);
  } else if (version.empty() || build.empty()) {
    text = Tr(IDS_NO_FILE);
    colour = QColor(255, 0, 0);
  } else if (check_.IsNewerAvailable()) {
    text = Tr(IDS_NEW_VERSION) + AppTitle() + " V " + FromCp1252(version) + " (" + FromCp1252(build) + ')';
    colour = QColor(192, 0, 0);
    offersUpdate_ = true;
  } else {
    text = AppTitle() + Tr(IDS_IS_CURRENT);
    colour = QColor(128, 128, 128);
  }
  updateLabel_->EnableClick(offersUpdate_);
  updateLabel_->SetPointerCursor(offersUpdate_ ? std::optional<QCursor>(QCursor(Qt::PointingHandCursor))
                                               : std::nullopt);
  updateLabel_->SetForeColour(colour);
  updateLabel_->ShowText(text);
  FitControlsToText();
}

void CAboutDlg::OnInstall() {
  const QString remembered = updateLabel_->text();
  updateLabel_->ShowText(IDS_UPDATE_STARTING);
  // The download runs here, on the user-interface thread: the dialog waits until it ends.
  const std::string path = check_.DownloadInstaller(ToCp1252(installFolder));
  if (!path.empty()) {
    std::string message;
    if (!check_.StartInstaller(path, &message)) {
      lastMessage_ = FromCp1252(message);
      if (!quietMessages) QMessageBox::critical(this, AppTitle(), lastMessage_);
    }
    if (exitProgram) exitProgram();
    reject();
  }
  updateLabel_->ShowText(remembered);
}

void CAboutDlg::StoreAutoCheck() {
  autoUpdateCheck = autoBox_->isChecked() ? 1 : 0;
  settings_.WriteProfileInt(settings::kVersion, settings::kUpdate, autoUpdateCheck);
}

void CAboutDlg::done(int result) {
  // OK, Cancel and the close box all store the box.
  StoreAutoCheck();
  // A closed dialog no longer wants the result.
  check_.DropNotifyWindow(&notify_);
  QDialog::done(result);
}

void OpenAboutDialog(QWidget* parent) {
  CAboutDlg dlg(parent);
  dlg.exec();
}

CUpdateWatch::CUpdateWatch(QWidget* mainDlg, ISettingsView& settings, CUpdateCheck* check)
    : QObject(mainDlg), mainDlg_(mainDlg), check_(check != nullptr ? *check : TheUpdateCheck()), notify_(this, check_) {
  if (settings.GetProfileInt(settings::kVersion, settings::kUpdate, settings::kDefaultUpdate) != 0) {
    check_.StartCheck(&notify_, kUpdateNotifyId);
  }
}

bool CUpdateWatch::event(QEvent* e) {
  if (e->type() == CUpdateEvent::EventType()) {
    const auto* u = static_cast<CUpdateEvent*>(e);
    if (u->kind == CUpdateEvent::Command && u->wParam == kUpdateNotifyId && check_.IsNewerAvailable() && openAbout) {
      openAbout(mainDlg_);
    }
    return true;
  }
  return QObject::event(e);
}

}  // namespace tw
