#include "CommandLine.h"

#include <fstream>

#include "ErrorCodes.h"
#include "EscapedName.h"

namespace arclib {
namespace {

// Response files are our caller's, but still bounded.
constexpr std::streamoff kMaxResponseFile = 64 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool DecodeEscapes(std::string_view escaped, std::string& name) {
  name.clear();
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] != '%') {
      name += escaped[i];
      continue;
    }
    const int hi = i + 2 < escaped.size() ? HexValue(escaped[i + 1]) : -1;
    const int lo = hi >= 0 ? HexValue(escaped[i + 2]) : -1;
    if (lo < 0) return false;
    name += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

}  // namespace

bool Tokenize(std::string_view line, std::vector<TToken>& tokens, TCommandError& err) {
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    TToken t;
    bool inQuote = false;
    for (; i < line.size(); ++i) {
      const char c = line[i];
      if (c == '"') {
        inQuote = !inQuote;
        t.quoted = true;
      } else if (!inQuote && IsBlank(c)) {
        break;
      } else {
        t.text += c;
      }
    }
    if (inQuote) {
      err = {kErrCommandLine, "command line: unbalanced double quote"};
      return false;
    }
    tokens.push_back(std::move(t));
  }
  return true;
}

bool ReadResponseFile(const std::string& path, std::vector<std::string>& names, TCommandError& err) {
  std::ifstream in(path, std::ios::binary);
  if (in) in.seekg(0, std::ios::end);
  const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
  if (size < 0 || size > kMaxResponseFile) {
    err = {kErrResponseRead, "cannot read response file: " + path};
    return false;
  }
  in.seekg(0);
  std::string text(static_cast<size_t>(size), '\0');
  in.read(text.data(), size);
  if (in.gcount() != size) {
    err = {kErrResponseRead, "cannot read response file: " + path};
    return false;
  }
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string_view lineText(text.data() + pos, eol - pos);
    pos = eol + 1;
    if (!lineText.empty() && lineText.back() == '\r') lineText.remove_suffix(1);
    if (lineText.size() >= 2 && lineText.front() == '"') {
      const size_t close = lineText.find('"', 1);
      lineText = close == std::string_view::npos ? lineText.substr(1) : lineText.substr(1, close - 1);
    }
    if (!lineText.empty()) names.emplace_back(lineText);
  }
  return true;
}

bool AddNameArgument(const std::string& text, std::vector<std::string>& names, TCommandError& err) {
  if (text.size() > 1 && text[0] == '@' && !text.starts_with(kEscapedNamePrefix))
    return ReadResponseFile(text.substr(1), names, err);
  names.push_back(text);
  return true;
}

bool DecodeNameArgument(std::string_view text, TNameArg& name, TCommandError& err) {
  if (!text.starts_with(kEscapedNamePrefix)) {
    name = TNameArg(std::string(text));
    return true;
  }
  std::string decoded;
  if (!DecodeEscapes(text.substr(kEscapedNamePrefix.size()), decoded) || decoded.empty()) {
    err = {kErrCommandLine, "malformed escaped name: " + std::string(text)};
    return false;
  }
  name = TNameArg(std::move(decoded), true);
  return true;
}

std::string_view TakeCommandWord(std::string_view& line) {
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  size_t end = 0;
  while (end < line.size() && !IsBlank(line[end])) ++end;
  const std::string_view word = line.substr(0, end);
  line.remove_prefix(end);
  return word;
}

bool ParseCommandLine(std::string_view line, TCommandLine& cmd, TCommandError& err, bool folderArgument) {
  cmd = TCommandLine{};
  std::vector<TToken> tokens;
  if (!Tokenize(line, tokens, err)) return false;
  bool haveArchive = false;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const TToken& t = tokens[i];
    if (!haveArchive && !t.text.empty() && t.text[0] == '-') {
      cmd.switches.push_back(t.text);
      continue;
    }
    if (t.text.empty()) continue;  // an empty quoted argument names nothing
    if (!haveArchive) {
      cmd.archive = t.text;
      haveArchive = true;
      if (folderArgument && i + 1 < tokens.size() && !tokens[i + 1].text.empty() && tokens[i + 1].text.back() == '/')
        cmd.baseDir = tokens[++i].text;
      continue;
    }
    if (!AddNameArgument(t.text, cmd.names, err)) return false;
  }
  if (!haveArchive) {
    err = {kErrNoArchiveName, "command line names no archive"};
    return false;
  }
  return true;
}

bool ParseEntryLine(const char* text, std::string_view letters, char& command, TCommandLine& cmd,
                    TCommandError& err) {
  command = 0;
  if (text == nullptr) {
    err = {kErrCommandLine, "no command line"};
    return false;
  }
  if (!ParseCommandLine(text, cmd, err)) return false;
  if (letters.empty()) return true;
  const std::string first = cmd.switches.empty() ? std::string() : cmd.switches.front();
  if (first.size() != 2 || first[0] != '-' || letters.find(first[1]) == std::string_view::npos) {
    std::string known;
    for (const char c : letters) known += (known.empty() ? "-" : ", -") + std::string(1, c);
    err = {kErrCommandName, "no command: the line must begin with " + known};
    return false;
  }
  command = first[1];
  cmd.switches.erase(cmd.switches.begin());
  return true;
}

}  // namespace arclib
