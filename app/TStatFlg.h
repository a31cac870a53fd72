// The auto-run state: 0 stopped, 1 running.
#pragma once
#include <cstdint>

class TStacFlg {
 public:
  void Clear();
  void Toggle();  // 0 becomes 1, anything else 0
  std::int32_t Value() const;

 private:
  std::int32_t FState = 0;
};
