// Command-line option table shared by every program of the suite.
//
// Arguments come in pairs: a name that begins with '-' and one value. The
// first occurrence of a name wins; values are kept as the argument vector's
// own strings, unchanged (so "-t -4" gives -t the value "-4"). The parser
// prints nothing: callers test validCheck() and report the error themselves.
#pragma once

#include <map>
#include <string>

namespace lattis {

class OptionParser {
public:
    OptionParser(int argc, char** argv);

    // The value given for exactly this name (leading '-' included), or null.
    char* getPara(const char* name) const;

    bool validCheck() const { return isValid; }

private:
    std::map<std::string, char*> paras;
    bool isValid = false;
};

}  // namespace lattis
