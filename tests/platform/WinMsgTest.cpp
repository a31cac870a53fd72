#include <gtest/gtest.h>

#include "WinMsg.h"

namespace {
int calls = 0;
LRESULT Echo(HWND wnd, uint32_t msg, WPARAM w, LPARAM l) {
  ++calls;
  auto* tag = static_cast<int*>(GetWindowUserData(wnd));
  return static_cast<LRESULT>(msg) + static_cast<LRESULT>(w) + l + (tag ? *tag : 0);
}
}  // namespace

TEST(WinMsg, RegisteredMessagesAreStablePerName) {
  uint32_t a = RegisterWindowMessage("wm_arcextract");
  EXPECT_GE(a, 0xC000u);
  EXPECT_EQ(RegisterWindowMessage("wm_arcextract"), a);
  EXPECT_NE(RegisterWindowMessage("another"), a);
  EXPECT_EQ(RegisterWindowMessage(""), 0u);
  EXPECT_EQ(RegisterWindowMessage(nullptr), 0u);
}

TEST(WinMsg, SendCallsTheProcedureSynchronouslyUntilDestroyed) {
  int tag = 1000;
  HWND w = CreateHiddenWindow(Echo, &tag);
  ASSERT_NE(w, 0u);
  EXPECT_TRUE(IsWindow(w));
  calls = 0;
  EXPECT_EQ(SendMessage(w, 1, 2, 3), 1006);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(DestroyWindow(w), 1);
  EXPECT_EQ(SendMessage(w, 1, 2, 3), 0);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(DestroyWindow(w), 0);
  EXPECT_FALSE(IsWindow(w));
  EXPECT_EQ(SendMessage(0, 1, 2, 3), 0);
}
