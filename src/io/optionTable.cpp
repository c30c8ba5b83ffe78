// Usage text and name checks from a program's option table; see optionTable.h.
#include "io/optionTable.h"

#include <algorithm>

namespace lattis {

namespace {

// Name and value forms are padded to this width, so the meanings line up.
constexpr std::size_t kFormWidth = 22;

void addLine(std::string& text, std::string_view form, std::string_view meaning) {
    text += "  ";
    text += form;
    text.append(form.size() < kFormWidth ? kFormWidth - form.size() : 1, ' ');
    text += meaning;
    text += '\n';
}

}  // namespace

std::string usageText(std::string_view heading, std::string_view synopsis, std::span<const OptionRow> table) {
    std::string text = std::string(heading) + "\nusage: " + std::string(synopsis) + "\n";
    for (const OptionRow& o : table) {
        std::string meaning(o.meaning);
        if (!o.fallback.empty()) meaning += "; default " + std::string(o.fallback);
        addLine(text, std::string(o.name) + " " + std::string(o.value), meaning);
    }
    addLine(text, "-h, --help", "print this usage on standard output and end");
    text += "Options are pairs of a name and one value, in any order; names are case-sensitive. See readme.txt.\n";
    return text;
}

bool helpAsked(int argc, char** argv) {
    for (int i = 1; i < argc; i += 2) {
        const std::string_view name = argv[i];
        if (name == "-h" || name == "--help") return true;
    }
    return false;
}

std::vector<std::string> unknownOptions(int argc, char** argv, std::span<const OptionRow> table) {
    std::vector<std::string> unknown;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view name = argv[i];
        const bool known = std::any_of(table.begin(), table.end(), [&](const OptionRow& o) { return o.name == name; });
        if (!known && std::find(unknown.begin(), unknown.end(), name) == unknown.end()) unknown.emplace_back(name);
    }
    return unknown;
}

}  // namespace lattis
