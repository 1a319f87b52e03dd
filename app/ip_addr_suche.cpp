#include "app/ip_addr_suche.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/lan_config_dlg.h"
#include "app/port_dlg.h"
#include "platform/tick.h"

namespace tw {

using portui::Text;
using portui::ToQt;

namespace {
constexpr int kKindRole = Qt::UserRole + 1;
}

CIPAddrSuche::CIPAddrSuche(IPortBackend& backend, QWidget* parent)
    : QDialog(parent), backend_(backend) {
  setWindowTitle(Text(16300));
  auto* top = new QVBoxLayout(this);
  list_ = new QListWidget(this);
  list_->setObjectName("1128");
  top->addWidget(list_, 1);
  auto* row = new QHBoxLayout;
  change_ = new QPushButton(Text(16301), this);
  change_->setObjectName("1");
  close_ = new QPushButton(Text(16302), this);
  close_->setObjectName("2");
  row->addStretch(1);
  row->addWidget(change_);
  row->addWidget(close_);
  top->addLayout(row);
  change_->setEnabled(false);
  resize(360, 280);
  setMinimumSize(sizeHint());

  askRetry = [this]() {
    return QMessageBox::warning(this, Text(10129), Text(10131),
                                QMessageBox::Retry | QMessageBox::Cancel) == QMessageBox::Retry;
  };
  runLanConfig = [this](const std::string& device) {
    CLanConfig dlg(backend_, device, this);
    return dlg.exec() == QDialog::Accepted;
  };
  waitMs = [](int ms) { SleepMs(static_cast<uint32_t>(ms)); };

  // As in the interface dialog: only a selected row counts, not the row the focus frame is on.
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(list_, &QListWidget::itemSelectionChanged, this,
          [this]() { change_->setEnabled(SelectedRow() >= 0); });
  connect(change_, &QPushButton::clicked, this, [this]() { OnChangeAddress(); });
  connect(close_, &QPushButton::clicked, this, [this]() { OnClose(); });
}

int CIPAddrSuche::exec() {
  if (!FillAddressList()) return Rejected;
  return QDialog::exec();
}

bool CIPAddrSuche::FillAddressList() {
  setEnabled(false);
  list_->clear();
  for (;;) {
    found_ = MergeFoundDevices(backend_.SearchLanReaders(), backend_.SearchLanDevices());
    if (!found_.empty()) break;
    if (!askRetry()) {
      setEnabled(true);
      reject();
      return false;
    }
  }
  for (const auto& f : found_) {
    auto* item = new QListWidgetItem(ToQt(f.text), list_);
    item->setData(kKindRole, f.kind);
    // Devices that are not readers of the maker stand out; selection colours stay the system's.
    if (f.kind == 2) {
      item->setForeground(Qt::red);
      QFont font = item->font();
      font.setItalic(true);
      item->setFont(font);
    }
  }
  setEnabled(true);
  change_->setEnabled(SelectedRow() >= 0);
  return true;
}

int CIPAddrSuche::SelectedRow() const {
  const QList<QListWidgetItem*> items = list_->selectedItems();
  const int row = items.isEmpty() ? -1 : list_->row(items.front());
  return row < static_cast<int>(found_.size()) ? row : -1;
}

void CIPAddrSuche::OnChangeAddress() {
  const int row = SelectedRow();
  if (row < 0) return;
  if (runLanConfig(found_[row].text)) {
    waitMs(300);
    FillAddressList();
  }
}

void CIPAddrSuche::OnClose() {
  const int row = SelectedRow();
  if (row >= 0 && found_[row].kind == 1)
    result_ = found_[row].text;
  done(Rejected);
}

}  // namespace tw
