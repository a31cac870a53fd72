#include "Notifier.h"

#include <algorithm>
#include <cstring>

#include "Records.h"
#include "WinMsg.h"

namespace arclib {

TNotifier& TNotifier::Instance() {
  static TNotifier instance;
  return instance;
}

int TNotifier::SetOwner(HWND wnd, ARC_OWNER_CALLBACK callback) {
  if (wnd == 0 && callback == nullptr) return 0;
  FOwner = wnd;
  FCallback = callback;
  if (FMessage == 0) FMessage = RegisterWindowMessage(WM_ARCEXTRACT_NAME);
  return 1;
}

int TNotifier::KillOwner(HWND wnd) {
  if (FOwner != wnd || (FOwner == 0 && FCallback == nullptr)) return 0;
  FOwner = 0;
  FCallback = nullptr;
  return 1;
}

void TNotifier::SetEnumProc(ENUM_MEMBER_PROC64 proc, uint32_t structSize) {
  FEnumProc = proc;
  FEnumSize = structSize;
}

void TNotifier::ClearEnumProc() {
  FEnumProc = nullptr;
  FEnumSize = 0;
}

bool TNotifier::Member(const TMemberProgress& p) {
  bool goOn = true;
  if (FOwner != 0 || FCallback != nullptr) {
    EXTRACTINGINFOEX info{};
    FillProgressFields(p, info);
    info.dwCompressedSize = Low32(p.compressedSize);
    CopyName(info.szMode, p.method);
    if (FCallback != nullptr) {
      // A callback answers non-zero to go on, like the enumeration callback.
      goOn = FCallback(FOwner, FMessage, ARCEXTRACT_INPROCESS, &info) != 0;
    } else {
      goOn = SendMessage(FOwner, FMessage, ARCEXTRACT_INPROCESS, reinterpret_cast<LPARAM>(&info)) == 0;
    }
  }
  if (goOn && FEnumProc != nullptr && FEnumSize >= sizeof(EXTRACTINGINFOEX64)) {
    EXTRACTINGINFOEX64 info{};
    info.dwStructSize = sizeof(EXTRACTINGINFOEX64);
    FillProgressFields(p, info);
    info.llFileSize = p.originalSize;
    info.llCompressedSize = p.compressedSize;
    info.llWriteSize = p.written;
    info.dwAttributes = p.dosAttributes;
    goOn = FEnumProc(&info) != 0;
  }
  return goOn;
}

}  // namespace arclib
