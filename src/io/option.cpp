// Pairwise parsing of the argument vector; see option.h.
#include "io/option.h"

namespace lattis {

OptionParser::OptionParser(int argc, char** argv) {
    for (int i = 1; i < argc; i += 2) {
        if (argv[i][0] != '-' || i + 1 >= argc) {
            isValid = false;
            return;
        }
        paras.emplace(argv[i], argv[i + 1]);  // emplace keeps an existing entry
    }
    isValid = true;
}

char* OptionParser::getPara(const char* name) const {
    auto it = paras.find(name);
    return it == paras.end() ? nullptr : it->second;
}

}  // namespace lattis
