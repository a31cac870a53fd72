// tidekeep-lha: runs one command of libunlha32.so from the shell. The arguments are joined
// into one command line the way the program's driver builds it (names in double quotes), the
// library's output text is printed, and the exit status says whether the command succeeded.
//
//   tidekeep-lha l backup.lzh
//   tidekeep-lha x -x1 backup.lzh dest/        (a folder argument ends in "/")
//   tidekeep-lha t backup.lzh
//   tidekeep-lha a -r2 -x1 -o7 backup.lzh base/ docs notes.txt   (pack, folders with all below)
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "EscapedName.h"
#include "Unlha32.h"

namespace {

constexpr uint32_t kOutputSize = 32u << 20;

// A name that cannot stand in double quotes (a quote or a control character in it) goes in
// the library's escaped form; "@file" stays a response file.
bool NeedsEscape(std::string_view a) {
  return std::any_of(a.begin(), a.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c != '%' && IsEscapedNameByte(c);
  });
}

std::string JoinArguments(int argc, char** argv) {
  std::string line = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::string_view a = argv[i];
    bool isSwitch = !a.empty() && a[0] == '-';
    bool hasSpace = a.find_first_of(" \t") != std::string_view::npos;
    line += ' ';
    if (isSwitch && !hasSpace) {
      line += a;
    } else {
      line += '"';
      line += NeedsEscape(a) ? EncodeEscapedName(a) : std::string(a);
      line += '"';
    }
  }
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: tidekeep-lha <command> [switches] <archive> [dest-folder/] [names...]\n"
                 "commands: l v (list)  x e (extract)  t (test)  u a f (pack)  d (delete);\n"
                 "see README.md of the library\n");
    return 2;
  }
  // Left uninitialised: the library terminates what it writes, and only the pages it writes
  // are ever touched (zero-filling 32 MiB cost more than testing a small archive).
  auto output = std::make_unique_for_overwrite<char[]>(kOutputSize);
  int code = Unlha(0, JoinArguments(argc, argv).c_str(), output.get(), kOutputSize);
  std::fputs(output.get(), stdout);
  if (code != 0) {
    std::fprintf(stderr, "tidekeep-lha: error %d (0x%04X)\n", code, static_cast<unsigned>(code));
    return 1;
  }
  return 0;
}
