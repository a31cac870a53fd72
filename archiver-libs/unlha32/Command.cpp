#include "Command.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace unlha {
namespace {

// Every switch name the program's driver can emit; a switch is split from its value by the
// longest name that begins it ("-jso1" is jso with 1, not j).
constexpr std::array<std::string_view, 73> kSwitchNames = {
    "a",   "c",   "e",   "f",   "h",   "i",   "l",   "m",   "n",   "o",   "p",   "r",   "s",   "t",   "u",
    "w",   "x",   "y",   "z",   "jc",  "jd",  "je",  "jf",  "jh",  "ji",  "jm",  "jn",  "jo",  "job", "jp",
    "jr",  "jsb", "jsc", "jsd", "jse", "jsf", "jsl", "jso", "jss", "jst", "jsv", "jsz", "jw",  "jx",  "jyc",
    "jyd", "jyk", "jyn", "jyo", "jz",  "ga",  "gd",  "ge",  "gf",  "gj",  "gm",  "gn",  "go",  "gp",  "gr",
    "gs",  "gu",  "gw",  "gya", "gyc", "gyd", "gye", "gyo", "gyq", "gys", "gyt", "gyw", "gyx"};

bool SplitSwitch(std::string_view body, TSwitch& sw) {
  size_t best = 0;
  for (std::string_view n : kSwitchNames)
    if (n.size() > best && body.substr(0, n.size()) == n) best = n.size();
  if (best == 0) return false;
  sw.name = std::string(body.substr(0, best));
  sw.value = std::string(body.substr(best));
  return true;
}

// One name as given; an escaped one is decoded and marked exact.
bool AddName(std::string_view text, std::vector<TNameArg>& files, TCommandError& err) {
  TNameArg name;
  if (!DecodeNameArgument(text, name, err)) return false;
  files.push_back(std::move(name));
  return true;
}

// The names of a response file; escaped lines are decoded as on the command line.
bool AddResponseFile(const std::string& path, std::vector<TNameArg>& files, TCommandError& err) {
  std::vector<std::string> names;
  if (!ReadResponseFile(path, names, err)) return false;
  return std::all_of(names.begin(), names.end(), [&](const std::string& n) { return AddName(n, files, err); });
}

}  // namespace

const TSwitch* TCommand::Find(std::string_view name) const {
  for (auto it = switches.rbegin(); it != switches.rend(); ++it)
    if (it->name == name) return &*it;
  return nullptr;
}

int TCommand::Number(std::string_view name, int dflt) const {
  const TSwitch* sw = Find(name);
  if (!sw || sw->value.empty()) return dflt;
  int v = 0;
  auto [end, ec] = std::from_chars(sw->value.data(), sw->value.data() + sw->value.size(), v);
  return (ec == std::errc() && end == sw->value.data() + sw->value.size()) ? v : dflt;
}

std::vector<std::string> TCommand::Values(std::string_view name) const {
  std::vector<std::string> out;
  for (const TSwitch& sw : switches)
    if (sw.name == name) out.push_back(sw.value);
  return out;
}

bool ParseCommandLine(std::string_view line, TCommand& cmd, TCommandError& err) {
  cmd = TCommand{};
  std::vector<TToken> tokens;
  if (!Tokenize(line, tokens, err)) return false;
  size_t i = 0;
  if (i < tokens.size() && !tokens[i].quoted && !tokens[i].text.empty() && tokens[i].text[0] != '-')
    cmd.letter = tokens[i++].text;
  bool haveArchive = false;
  for (; i < tokens.size(); ++i) {
    const TToken& t = tokens[i];
    if (!haveArchive && t.text.size() >= 1 && t.text[0] == '-') {
      std::string_view body = std::string_view(t.text).substr(1);
      if (body == "+") {
        cmd.plus = true;
        continue;
      }
      TSwitch sw;
      if (!SplitSwitch(body, sw)) {
        err = {kErrSwitch, "unknown switch: " + t.text};
        return false;
      }
      cmd.switches.push_back(std::move(sw));
      continue;
    }
    if (t.text.empty()) continue;  // an empty quoted argument names nothing
    if (!haveArchive) {
      cmd.archive = t.text;
      haveArchive = true;
      if (i + 1 < tokens.size() && !tokens[i + 1].text.empty() && tokens[i + 1].text.back() == '/') {
        cmd.baseDir = tokens[++i].text;
      }
      continue;
    }
    if (t.text[0] == '@' && t.text.size() > 1 && !t.text.starts_with(kEscapedNamePrefix)) {
      if (!AddResponseFile(t.text.substr(1), cmd.files, err)) return false;
      continue;
    }
    if (!AddName(t.text, cmd.files, err)) return false;
  }
  if (!haveArchive) {
    err = {kErrNoArchiveName, "command line names no archive"};
    return false;
  }
  return true;
}

bool CheckSwitches(const TCommand& cmd, const std::vector<std::string_view>& allowed, TCommandError& err) {
  for (const TSwitch& sw : cmd.switches) {
    bool known = false;
    for (std::string_view a : allowed) known = known || a == sw.name;
    if (!known) {
      err = {kErrSwitch, "switch not supported by command '" + cmd.letter + "': -" + sw.name + sw.value};
      return false;
    }
  }
  return true;
}

}  // namespace unlha
