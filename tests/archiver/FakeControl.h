// Test-side access to the stand-in archiver library that the binding loaded: the same shared
// object is looked up again by its library name, which yields the loaded copy.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

#include "Module.h"

namespace fake {

inline void* entry(const char* library, const char* name) {
  static platform::HMODULE module = nullptr;
  static std::string loaded;
  if (loaded != library) {
    module = platform::LoadLibrary(library);
    loaded = library;
  }
  void* address = platform::GetProcAddress(module, name);
  if (address == nullptr) throw std::runtime_error(std::string("fake entry missing: ") + name);
  return address;
}

template <class F>
F call(const char* name, const char* library = "UNLHA32.DLL") {
  return reinterpret_cast<F>(entry(library, name));
}

inline std::string Log(const char* library = "UNLHA32.DLL") { return call<const char* (*)()>("FakeLog", library)(); }
inline void Reset(const char* library = "UNLHA32.DLL") { call<void (*)()>("FakeReset", library)(); }
inline void SetResult(int result, const char* library = "UNLHA32.DLL") {
  call<void (*)(int)>("FakeSetResult", library)(result);
}
inline void AddMember(const char* name, uint32_t size, uint32_t compressed, uint16_t date, uint16_t time,
                      const char* library = "UNLHA32.DLL") {
  call<void (*)(const char*, uint32_t, uint32_t, uint16_t, uint16_t)>("FakeAddMember", library)(name, size, compressed,
                                                                                                 date, time);
}
// The code the library's GetArchiveType answers for every file.
inline void SetArchiveType(int type, const char* library) { call<void (*)(int)>("FakeSetArchiveType", library)(type); }
// FindFirst answers 0x800A until this password has been given.
inline void RequirePassword(const char* password, const char* library) {
  call<void (*)(const char*)>("FakeRequirePassword", library)(password);
}
// The password dialog's next answer; with none left it is cancelled.
inline void AddDialogAnswer(const char* answer, const char* library) {
  call<void (*)(const char*)>("FakeAddDialogAnswer", library)(answer);
}
inline void AddFile(const char* member, const char* content) {
  call<void (*)(const char*, const char*)>("FakeAddFile")(member, content);
}

}  // namespace fake
