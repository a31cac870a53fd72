// The caller's output buffer: readable text appended line by line, always NUL-terminated
// within its size and never overrun; a null buffer or size 0 swallows everything.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace arclib {

class TOutput {
 public:
  TOutput(char* buffer, uint32_t size);
  TOutput(const TOutput&) = delete;
  TOutput& operator=(const TOutput&) = delete;

  // Appends text; what does not fit is dropped at a UTF-8 character boundary.
  void Write(std::string_view text);
  // Write(text) followed by a line feed.
  void Line(std::string_view text);
  // Line(Printable(text)): every line that may hold a member name goes out so.
  void PrintableLine(std::string_view text);
  bool Truncated() const { return FTruncated; }
  std::string_view Text() const { return {FBuffer ? FBuffer : "", FLength}; }

 private:
  char* FBuffer;
  size_t FSize;
  size_t FLength = 0;
  bool FTruncated = false;
};

// Text as a terminal may safely show it: control characters (C0, DEL, C1) and bytes that are
// not UTF-8 become \xNN, so a crafted member name cannot retitle or drive the terminal.
std::string Printable(std::string_view text);

}  // namespace arclib
