// A fresh folder of its own below the temporary folder for one test, removed with everything
// in it afterwards, so that two runs or two users never meet in the same names.
#pragma once
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

class TTempFolder {
 public:
  explicit TTempFolder(std::string_view prefix = "tk-test") {
    std::string templ = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder: " + templ);
    FPath = templ;
  }
  ~TTempFolder() {
    // A test may have taken rights away from what it made; give them back so all of it goes.
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(FPath, ec))
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                   ec);
    std::filesystem::remove_all(FPath, ec);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::string& path() const { return FPath; }
  std::string operator/(std::string_view name) const { return FPath + "/" + std::string(name); }

 private:
  std::string FPath;
};
