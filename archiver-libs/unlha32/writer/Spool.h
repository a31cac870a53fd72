// The packed data of one member on its way to the archive: kept in memory up to a limit and
// beyond it in an anonymous temporary file, so that a member of any size can wait for its turn
// in bounded memory.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "SafeExtract.h"

namespace unlha {

class TSpool {
public:
  // folder: where the temporary file goes (the archive's folder; $TMPDIR when it cannot).
  TSpool(std::string folder, size_t memoryLimit);

  // Throws EWriteFailed when the temporary file cannot be made or written.
  void Write(std::span<const uint8_t> bytes);
  uint64_t Size() const { return FOnDisk + FMemory.size(); }
  // Hands every byte written to sink, in order, in pieces of at most buffer's size.
  void ReadOut(std::span<uint8_t> buffer, const std::function<void(std::span<const uint8_t>)>& sink);

private:
  void Spill();

  std::string FFolder;
  size_t FLimit;
  std::vector<uint8_t> FMemory; // everything while small; afterwards what is not yet on disk
  arclib::TFd FFile;
  uint64_t FOnDisk = 0;
};

} // namespace unlha
