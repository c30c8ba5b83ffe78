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

SamplerKind samplerOption(const OptionParser& op) {
    const char* text = op.getPara("-sampler");
    if (text == nullptr || std::string_view(text) == "classic") return SamplerKind::Classic;
    if (std::string_view(text) == "fast") return SamplerKind::Fast;
    throw std::invalid_argument(std::string("option -sampler: expected classic or fast, got \"") + text + "\"");
}

NetworkLoad loadOption(const OptionParser& op) {
    const char* text = op.getPara("-load");
    if (text == nullptr || std::string_view(text) == "copy") return NetworkLoad::Copy;
    if (std::string_view(text) == "map") return NetworkLoad::Map;
    throw std::invalid_argument(std::string("option -load: expected copy or map, got \"") + text + "\"");
}

int threadOption(const OptionParser& op, const char* name, int def) {
    return static_cast<int>(intOption(op, name, def, 1, kMaxThreads));
}

}  // namespace lattis
