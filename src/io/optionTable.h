// A program's options as one table: each row names an option, the form of
// its value, its default as the usage states it and what it means, in one
// line. The usage text (for -h and --help, and after a malformed command
// line) and the check for option names the program does not know both come
// from the table, so an option is added as one row here plus the line of the
// program that reads its value (cliArgs.h has the strict readers).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lattis {

struct OptionRow {
    std::string_view name;      // with its leading '-', as given: "-k"
    std::string_view value;     // the value's form in the usage: "K", "FILE", "LT|IC"
    std::string_view fallback;  // the default as the usage states it, "" when there is none
    std::string_view meaning;   // one line
};

// The usage: the heading (the program's name and version), "usage: " and the
// synopsis, one line per row with its default, a line for -h/--help and a
// closing line on the command line's form.
std::string usageText(std::string_view heading, std::string_view synopsis, std::span<const OptionRow> table);

// Whether the command line asks for the usage: "-h" or "--help" where an
// option name stands (argv[1], argv[3], ...), whatever else it holds.
bool helpAsked(int argc, char** argv);

// The option names of a valid command line (argv[1], argv[3], ...) that are
// not in the table, in the order given, each once.
std::vector<std::string> unknownOptions(int argc, char** argv, std::span<const OptionRow> table);

}  // namespace lattis
