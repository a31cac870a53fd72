// The notification-area icon, a QSystemTrayIcon whose button presses reach the program as the
// lParam of a Windows tray callback message. Where no tray exists the icon never shows and the
// program runs without it.
#pragma once
#include <QPoint>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "WinMsg.h"

class QIcon;

namespace platform {

inline constexpr LPARAM WM_LBUTTONDOWN = 0x0201;  // 513
inline constexpr LPARAM WM_RBUTTONDOWN = 0x0204;  // 516

// The callback lParam for an activation: a left click is 513, the context click 516, others 0.
LPARAM TrayMessageFor(QSystemTrayIcon::ActivationReason reason);

class TrayIcon {
 public:
  using Callback = std::function<void(LPARAM lParam)>;
  TrayIcon(const QIcon& icon, std::string_view tip, Callback callback);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Puts the icon into the tray; false (and nothing shown) where no tray exists.
  bool Add();
  bool Visible() const;
  std::string Tip() const;
  void SetTip(std::string_view tip);

  // A message that needs no answer, shown beside the icon where the tray can show one: an
  // unattended run reports its failures this way, never with a box that waits for someone.
  struct Balloon {
    std::string title, text;
    bool error = false;
  };
  void ShowBalloon(Balloon balloon);
  // The last balloon asked for, shown or not (where no tray exists).
  const std::optional<Balloon>& LastBalloon() const { return FLastBalloon; }

 private:
  std::unique_ptr<QSystemTrayIcon> FIcon;
  std::optional<Balloon> FLastBalloon;
};

// Whether a tray exists, decided by a test instead of the desktop; nullopt asks the desktop again.
void SetTrayAvailableOverride(std::optional<bool> available);

// The pointer's position on the screen.
QPoint GetCursorPos();

}  // namespace platform
