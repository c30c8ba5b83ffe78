// Integer/text conversions through text streams; see numberText.h.
#include "core/numberText.h"

#include <cstdlib>
#include <iostream>
#include <sstream>

namespace lattis {

std::string intToStr(int i) {
    std::ostringstream out;
    out << i;
    return out.str();
}

UI strToInt(std::string s) {
    std::istringstream in(s);
    UI value = 0;
    if (in >> value) return value;
    std::cout << "String " << s << " is not a number." << std::endl;
    return static_cast<UI>(std::atoi(s.c_str()));
}

}  // namespace lattis
