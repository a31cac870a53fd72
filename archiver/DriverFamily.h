// What the drivers beside LHA share: the class-wide binding of a family whose library names its
// entries by a prefix, the open probe, and self-extractors made by copying files.
#pragma once
#include <functional>
#include <string>

#include "ARCHIVES.h"

// The base of a driver whose family's library names its entries by a prefix. Family names the
// library in three constants, DisplayName, LibraryName and Prefix; its subclasses share its
// binding. The binding is created and loaded on first use and then kept, also when that load
// failed: every binding call that loads first tries again and reports the missing library.
template <class Family>
class TFamilyDriver : public TArchiver {
 public:
  void LoadDLL() override { Binding(); }
  void FreeDLL() override { FreeBinding(); }
  TCustomArchiverDll& GetDll() override { return Binding(); }

  static TArchiverDll& Binding() {
    return store().Get(
        [] { return std::make_unique<TArchiverDll>(Family::DisplayName, Family::LibraryName, Family::Prefix); });
  }
  static void FreeBinding() { store().Reset(); }

 protected:
  TFamilyDriver() { Binding(); }  // the family's first driver raises ENoArchiverDLL when the library is missing

 private:
  static TSharedBinding<TArchiverDll>& store() {
    static TSharedBinding<TArchiverDll> binding;
    return binding;
  }
};

// Opens the file through the binding with window 0 and the probe's mode, closes the handle and
// tells whether the library gave one. Exceptions pass; the probes turn them into "no".
bool OpenProbe(TCustomArchiverDll& dll, const std::string& fullPath);

// What a self-extractor holds after its archive.
enum class TSfxTrailer {
  None,
  BigEndianLength,  // the archive's length, low 32 bits, most significant byte first
};

// The self-extractor's name: ArcFile with the extension Ext, moved into Dir when Dir is given.
std::string SfxOutputName(std::string_view arcFile, std::string_view ext, std::string_view dir);

// A step of writing a self-extractor that failed.
enum class TSfxFailure { Open, Create, Read, Write };
// Raises a driver's own error for a failed step; Path is the input for Open, else the file written.
using TSfxErrorFn = std::function<void(TSfxFailure failure, const std::string& path)>;

// Writes Support's bytes, then the archive's, then the trailer into Output. The file is built
// under a temporary name beside Output and renamed over it only when complete, so a failure
// leaves no partial file and an existing file of that name (the archive itself, too) stays
// whole until the new one is ready. File errors raise Raise's error, without one a
// std::system_error naming the file.
void WriteSfxFile(const std::string& output, const std::string& support, const std::string& archive,
                  TSfxTrailer trailer, const TSfxErrorFn& raise = {});
