#include "TrayIcon.h"

#include <QCursor>
#include <QIcon>
#include <QString>

namespace platform {

LPARAM TrayMessageFor(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger: return WM_LBUTTONDOWN;
    case QSystemTrayIcon::Context: return WM_RBUTTONDOWN;
    default: return 0;
  }
}

TrayIcon::TrayIcon(const QIcon& icon, std::string_view tip, Callback callback)
    : FIcon(std::make_unique<QSystemTrayIcon>(icon)) {
  SetTip(tip);
  QObject::connect(FIcon.get(), &QSystemTrayIcon::activated,
                   [cb = std::move(callback)](QSystemTrayIcon::ActivationReason reason) {
                     if (LPARAM msg = TrayMessageFor(reason); msg != 0) cb(msg);
                   });
}

TrayIcon::~TrayIcon() = default;

namespace {
std::optional<bool> gTrayAvailableOverride;
}  // namespace

void SetTrayAvailableOverride(std::optional<bool> available) { gTrayAvailableOverride = available; }

bool TrayIcon::Add() {
  if (!gTrayAvailableOverride.value_or(QSystemTrayIcon::isSystemTrayAvailable())) return false;
  FIcon->show();
  return true;
}

bool TrayIcon::Visible() const { return FIcon->isVisible(); }

std::string TrayIcon::Tip() const { return FIcon->toolTip().toStdString(); }

void TrayIcon::SetTip(std::string_view tip) {
  FIcon->setToolTip(QString::fromUtf8(tip.data(), static_cast<qsizetype>(tip.size())));
}

void TrayIcon::ShowBalloon(Balloon balloon) {
  if (FIcon->isVisible()) {
    FIcon->showMessage(QString::fromStdString(balloon.title), QString::fromStdString(balloon.text),
                       balloon.error ? QSystemTrayIcon::Critical : QSystemTrayIcon::Information);
  }
  FLastBalloon = std::move(balloon);
}

QPoint GetCursorPos() { return QCursor::pos(); }

}  // namespace platform
