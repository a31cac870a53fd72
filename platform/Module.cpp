#include "Module.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "Paths.h"

namespace platform {

std::string SharedObjectName(std::string_view libraryName) {
  std::string name;
  for (char ch : libraryName) name += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (name.size() > 4 && name.ends_with(".dll")) name.resize(name.size() - 4);
  return "lib" + name + ".so";
}

namespace {

// Appends the non-empty folders of a colon-separated list held by the environment variable.
void appendFolderList(std::vector<std::string>& folders, const char* variable) {
  const char* list = std::getenv(variable);
  if (list == nullptr) return;
  std::string_view rest(list);
  while (!rest.empty()) {
    auto colon = rest.find(':');
    std::string_view folder = rest.substr(0, colon);
    if (!folder.empty()) folders.emplace_back(folder);
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
}

std::vector<std::string> searchFolders() {
  std::vector<std::string> folders;
  appendFolderList(folders, "TIDEKEEP_ARCHIVERS");
  const std::string exeDir = ExeDir();
  folders.push_back(JoinPath(exeDir, "archivers"));
  folders.push_back(JoinPath(exeDir, "../lib/tidekeep/archivers"));
  return folders;
}

}  // namespace

HMODULE LoadLibrary(std::string_view libraryName) {
  const std::string object = SharedObjectName(libraryName);
  for (const std::string& folder : searchFolders()) {
    const std::string path = JoinPath(folder, object);
    if (access(path.c_str(), F_OK) != 0) continue;
    if (HMODULE module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
  }
  return dlopen(object.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* GetProcAddress(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return dlsym(module, name);
}

std::string GetModuleFileName(HMODULE module) {
  if (module == nullptr) {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
  }
  link_map* map = nullptr;
  if ( dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr)
    return {};
  char real[PATH_MAX];
  if (realpath(map->l_name, real) != nullptr) return real;
  return map->l_name;
}

void FreeLibrary(HMODULE module) {
  if (module != nullptr) dlclose(module);
}

std::string SearchPath(std::string_view fileName, std::string_view folder) {
  std::vector<std::string> folders;
  if (!folder.empty()) folders.emplace_back(folder);
  folders.push_back(ExeDir());
  for (std::string& archivers : searchFolders()) folders.push_back(std::move(archivers));
  appendFolderList(folders, "PATH");
  for (const std::string& candidate : folders) {
    const std::string file = JoinPath(candidate, fileName);
    struct stat st {};
    if (stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return ExpandFileName(file);
  }
  return {};
}

}  // namespace platform
