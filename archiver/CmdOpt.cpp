#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "ARCHIVES.h"
#include "Paths.h"

void ForEachName(const TFileArgs& files, bool keepEmptyNames, const std::function<void(std::string_view)>& visit) {
  auto add = [&](std::string_view name) {
    if (keepEmptyNames || !name.empty()) visit(name);
  };
  for (const TFileArg& arg : files) {
    std::visit(
        [&](const auto& value) {
          using T = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<T, std::string>) {
            add(value);
          } else if constexpr (std::is_same_v<T, const char*>) {
            if (value != nullptr) add(value);
          } else if constexpr (std::is_same_v<T, const char* const*>) {
            for (const char* const* p = value; p != nullptr && *p != nullptr; ++p) add(*p);
          } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
            for (const std::string& line : value) add(line);
          }
        },
        arg);
  }
}

std::vector<std::string> FlattenArgs(const TFileArgs& files, bool keepEmptyNames) {
  std::vector<std::string> names;
  ForEachName(files, keepEmptyNames, [&](std::string_view name) { names.emplace_back(name); });
  return names;
}

void TCmdOpt::Add(std::string_view s) {
  FText += ' ';
  FText += s;
}

void TCmdOpt::AddQuoted(std::string_view sw, std::string_view value) {
  if (IsUnsetText(value)) return;
  if (sw.empty()) {  // a name: appended in place, as there may be a great many
    FText += " \"";
    FText += value;
    FText += '"';
    return;
  }
  const std::string swText = sw.front() == ' ' ? std::string(sw.substr(1)) : "-" + std::string(sw);
  if (FSeparateValue)
    Add(swText + " \"" + std::string(value) + "\"");
  else
    Add("\"" + swText + std::string(value) + "\"");
}

void TCmdOpt::AddNumber(std::string_view sw, int n) {
  if (n >= 0) Add("-" + std::string(sw) + std::to_string(n));
}

void TCmdOpt::AddFlag(std::string_view sw, bool on) {
  if (on) Add("-" + std::string(sw));
}

void TCmdOpt::AddDir(std::string_view sw, std::string_view dir) {
  if (dir.empty() || IsUnsetText(dir)) return;
  std::string value(dir);
  // UTF-8 never has a "/" inside a multibyte character, so the last byte tells.
  if (value.back() != platform::PathDelim) value += platform::PathDelim;
  AddText(sw, value);
}

std::string TCmdOpt::ConvertName(std::string_view name) const {
  return FNameConverter != nullptr ? FNameConverter(name) : std::string(name);
}

void TCmdOpt::AddName(std::string_view sw, std::string_view name) { AddQuoted(sw, ConvertName(name)); }

int TCmdOpt::AddFiles(std::string_view sw, const TFileArgs& files) {
  int count = 0;
  ForEachName(files, false, [&](std::string_view name) {
    AddName(sw, name);
    ++count;
  });
  return count;
}

int TCmdOpt::AddResponseFile(const TFileArgs& files, std::string_view fileName) {
  std::string content;
  int count = 0;
  ForEachName(files, false, [&](std::string_view name) {
    content += '"';
    content += ConvertName(name);
    content += "\"\r\n";
    ++count;
  });
  const std::string path(fileName);
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "wb"));
  if (!file) throw std::system_error(errno, std::generic_category(), "cannot create " + path);
  if (!content.empty() && std::fwrite(content.data(), content.size(), 1, file.get()) != 1)
    throw std::system_error(errno, std::generic_category(), "cannot write " + path);
  if (std::fclose(file.release()) != 0) throw std::system_error(errno, std::generic_category(), "cannot write " + path);
  AddQuoted("", "@" + path);
  return count;
}
