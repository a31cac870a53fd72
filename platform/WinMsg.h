// Process-wide window messages for archiver progress: the few calls the program and the
// archiver libraries share. It is a shared library of its own so that every loaded archiver
// library and the program see one registry of message ids and windows.
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uintptr_t HWND;          // opaque, pointer-sized; 0 is "no window"
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef LRESULT (*WNDPROC)(HWND wnd, uint32_t msg, WPARAM wParam, LPARAM lParam);

// The same id for the same name, from 0xC000 up; 0 for an empty or null name.
uint32_t RegisterWindowMessage(const char* name);
// A window that is never shown; its procedure receives every message sent to it.
HWND CreateHiddenWindow(WNDPROC proc, void* userData);
void* GetWindowUserData(HWND wnd);
// Calls the window's procedure synchronously on the caller's thread; 0 for an unknown window.
LRESULT SendMessage(HWND wnd, uint32_t msg, WPARAM wParam, LPARAM lParam);
// Non-zero when the window existed.
int DestroyWindow(HWND wnd);
int IsWindow(HWND wnd);
// What a procedure answers for a message it does not handle.
LRESULT DefWindowProc(HWND wnd, uint32_t msg, WPARAM wParam, LPARAM lParam);

#ifdef __cplusplus
}
#endif
