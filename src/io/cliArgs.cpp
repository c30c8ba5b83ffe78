// Strict numeric options; see cliArgs.h.
#include "io/cliArgs.h"

#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "io/option.h"
#include "core/parse.h"

namespace lattis {

double realOption(const OptionParser& op, const char* name, double def, double lo, double hi) {
    const char* text = op.getPara(name);
    if (text == nullptr) return def;
    auto v = parseReal(text);
    if (!v || std::isnan(*v))
        throw std::invalid_argument(std::string("option ") + name + ": expected a number, got \"" + text + "\"");
    if (*v < lo || *v > hi) {
        std::ostringstream msg;
        msg << "option " << name << ": " << text << " is out of range [" << lo << ", " << hi << "]";
        throw std::invalid_argument(msg.str());
    }
    return *v;
}

long long intOption(const OptionParser& op, const char* name, long long def, long long lo, long long hi) {
    const char* text = op.getPara(name);
    if (text == nullptr) return def;
    auto v = parseInteger<long long>(text);
    if (!v)
        throw std::invalid_argument(std::string("option ") + name + ": expected an integer, got \"" + text + "\"");
    if (*v < lo || *v > hi) {
        std::ostringstream msg;
        msg << "option " << name << ": " << text << " is out of range [" << lo << ", " << hi << "]";
        throw std::invalid_argument(msg.str());
    }
    return *v;
}

int keywordOption(const OptionParser& op, const char* name, const char* first, const char* second) {
    const char* text = op.getPara(name);
    if (text == nullptr || std::string_view(text) == first) return 0;
    if (std::string_view(text) == second) return 1;
    throw std::invalid_argument(std::string("option ") + name + ": expected " + first + " or " + second + ", got \"" +
                                text + "\"");
}

SamplerKind samplerOption(const OptionParser& op) {
    return keywordOption(op, "-sampler", "classic", "fast") == 0 ? SamplerKind::Classic : SamplerKind::Fast;
}

NetworkLoad loadOption(const OptionParser& op) {
    return keywordOption(op, "-load", "copy", "map") == 0 ? NetworkLoad::Copy : NetworkLoad::Map;
}

int threadOption(const OptionParser& op, const char* name, int def) {
    return static_cast<int>(intOption(op, name, def, 1, kMaxThreads));
}

}  // namespace lattis
