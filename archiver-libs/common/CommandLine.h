// The command lines the program's drivers hand to a library's command entry, split into their
// common shape:  <switches...> "<archive>" ["<folder>/"] ["<name>" | "@<response file>"]...
// What a switch means (and whether the first one is a command) is each library's dialect.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "Names.h"

namespace arclib {

// A failed parse or check: the library code to return and a message for the output buffer.
struct TCommandError {
  int code = 0;
  std::string message;
};

struct TToken {
  std::string text;     // without its double quotes
  bool quoted = false;  // some part of it was in double quotes
};

// Splits at blanks outside double quotes. False on an unbalanced quote.
bool Tokenize(std::string_view line, std::vector<TToken>& tokens, TCommandError& err);

// Appends the names of a response file: one per line, in double quotes or not, lines ended by
// CR LF or LF; empty lines name nothing.
bool ReadResponseFile(const std::string& path, std::vector<std::string>& names, TCommandError& err);

struct TCommandLine {
  std::vector<std::string> switches;  // every argument beginning with "-" before the archive
  std::string archive;
  std::string baseDir;                // the argument after the archive when it ends in "/"
  std::vector<std::string> names;     // file or member names, response files expanded
};

// A name argument: "@<file>" adds the response file's names, anything else itself (an escaped
// name "@=..." too: it is decoded where it is used, by DecodeNameArgument).
bool AddNameArgument(const std::string& text, std::vector<std::string>& names, TCommandError& err);

// One name as the drivers send it: the escaped form (EscapedName.h) is decoded and exact, anything
// else is itself, a pattern. A malformed or empty escaped name is kErrCommandLine.
bool DecodeNameArgument(std::string_view text, TNameArg& name, TCommandError& err);

// Arguments after the archive are names, never switches; empty quoted arguments add nothing.
// FolderArgument: an argument right after the archive ending in "/" is the base folder (the
// dialects that give the folder as a switch take it as a name).
bool ParseCommandLine(std::string_view line, TCommandLine& cmd, TCommandError& err, bool folderArgument = true);

// Splits off the leading command word (up to the first blank): returns it, Line keeps the rest.
std::string_view TakeCommandWord(std::string_view& line);

// A command entry's line: when Letters is not empty, the first switch must be a command "-c" with
// c one of Letters (else kErrCommandName); it is taken off the switches into Command. Empty
// Letters is the memory form, which has no command (Command is then 0). A null line is
// kErrCommandLine.
bool ParseEntryLine(const char* text, std::string_view letters, char& command, TCommandLine& cmd,
                    TCommandError& err);

}  // namespace arclib
