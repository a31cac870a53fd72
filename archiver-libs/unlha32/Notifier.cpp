#include "Notifier.h"

#include <algorithm>
#include <cstring>

#include "WinMsg.h"

namespace unlha {
namespace {

template <size_t N>
void CopyName(char (&field)[N], std::string_view text) {
  size_t n = std::min(text.size(), N - 1);
  // Keep whole UTF-8 characters only.
  if (n < text.size())
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

uint16_t Ratio(uint64_t packed, uint64_t original) {
  if (original == 0) return 0;
  uint64_t r = packed * 1000 / original;
  return static_cast<uint16_t>(std::min<uint64_t>(r, 0xFFFF));
}

uint32_t Low32(uint64_t v) { return static_cast<uint32_t>(std::min<uint64_t>(v, 0xFFFFFFFFu)); }

}  // namespace

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
    info.dwFileSize = Low32(p.originalSize);
    info.dwWriteSize = Low32(p.written);
    CopyName(info.szSourceFileName, p.source);
    CopyName(info.szDestFileName, p.dest);
    info.dwCompressedSize = Low32(p.compressedSize);
    info.dwCRC = p.crc;
    info.uOSType = p.osType;
    info.wRatio = Ratio(p.compressedSize, p.originalSize);
    info.wDate = p.dosDate;
    info.wTime = p.dosTime;
    CopyName(info.szAttribute, p.attribute);
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
    info.dwFileSize = Low32(p.originalSize);
    info.dwWriteSize = Low32(p.written);
    CopyName(info.szSourceFileName, p.source);
    CopyName(info.szDestFileName, p.dest);
    info.llFileSize = p.originalSize;
    info.llCompressedSize = p.compressedSize;
    info.llWriteSize = p.written;
    info.dwAttributes = p.dosAttributes;
    info.dwCRC = p.crc;
    info.uOSType = p.osType;
    info.wRatio = Ratio(p.compressedSize, p.originalSize);
    info.wDate = p.dosDate;
    info.wTime = p.dosTime;
    CopyName(info.szAttribute, p.attribute);
    goOn = FEnumProc(&info) != 0;
  }
  return goOn;
}

}  // namespace unlha
