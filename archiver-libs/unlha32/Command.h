// The command line the program's LHA driver hands to the command entry, parsed once:
//   <letter> -+ <switches> [user options] "<archive>" ["<base dir>/"] ["<name>"|"@<response file>"]...
// Every command (reading or writing) works from this one structure.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "EscapedName.h"
#include "SharedLayer.h"

namespace unlha {

// One "-name<value>" argument; quoted ones ("-jo2026/01/01") lose their quotes here.
struct TSwitch {
  std::string name;   // without the "-", e.g. "jso"
  std::string value;  // what follows the name, e.g. "1"; may be empty
};

struct TCommand {
  std::string letter;              // "x", "e", "l", "v", "t", "u", ...; empty for the memory form
  bool plus = false;               // the driver's fixed first switch "-+" was given
  std::vector<TSwitch> switches;   // in command-line order
  std::string archive;             // as given
  std::string baseDir;             // the argument ending in "/" after the archive; "" when none
  std::vector<TNameArg> files;     // member or file names, response files expanded

  // The last occurrence of a switch, or nullptr.
  const TSwitch* Find(std::string_view name) const;
  // The decimal value of a number switch; dflt when absent, empty or not a number.
  int Number(std::string_view name, int dflt) const;
  // Every value of a repeatable switch (e.g. "jx"), in order.
  std::vector<std::string> Values(std::string_view name) const;
};

// Splits and classifies the command line; expands "@file" response files (lines of
// double-quoted names ended by CR LF, or LF) and decodes escaped names. False with err filled
// on failure.
bool ParseCommandLine(std::string_view line, TCommand& cmd, TCommandError& err);

// Fails with the unknown-switch code naming the first switch whose name is not in allowed.
bool CheckSwitches(const TCommand& cmd, const std::vector<std::string_view>& allowed, TCommandError& err);

}  // namespace unlha
