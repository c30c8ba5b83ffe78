// marlet's options; see marletOptions.h.
#include "programs/marletOptions.h"

#include <cmath>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "io/cliArgs.h"
#include "io/option.h"
#include "version.h"

namespace lattis {

std::string marletUsage() { return usageText("marlet " LATTIS_VERSION, "marlet [OPTION VALUE]...", kMarletOptions); }

namespace {

// -mem in bytes: a finite number of megabytes above 0.
std::optional<double> memoryLimitOption(const OptionParser& op) {
    if (op.getPara("-mem") == nullptr) return std::nullopt;
    const double mb = realOption(op, "-mem", 0.0);
    if (!(mb > 0 && std::isfinite(mb)))
        throw std::invalid_argument("option -mem: " + std::string(op.getPara("-mem")) +
                                    " is out of range: the limit must be a finite number of megabytes greater than 0");
    return mb * 1024.0 * 1024.0;
}

// -select: the budget rule of the greedy selection.
SelectRule selectRuleOption(const OptionParser& op) {
    return keywordOption(op, "-select", "stop", "fill") == 0 ? SelectRule::Stop : SelectRule::Fill;
}

// -stop: threshold (the default) or certified.
bool certifiedOption(const OptionParser& op) { return keywordOption(op, "-stop", "threshold", "certified") == 1; }

// -ratio, in (0, 1]; its default is refused only where it would be used.
void readRatio(const OptionParser& op, MarletOptions& o) {
    o.ratioGiven = op.getPara("-ratio") != nullptr;
    if (!o.ratioGiven) {
        o.ratio = defaultRatio(o.common.epsilon);
        if (o.certified && !(o.ratio > 0)) {
            std::ostringstream msg;
            msg << "option -ratio: the default 1 - 1/sqrt(e) - epsilon = " << o.ratio << " is not above 0 for -epsilon "
                << o.common.epsilon << "; give -ratio R with 0 < R <= 1";
            throw std::invalid_argument(msg.str());
        }
        return;
    }
    o.ratio = realOption(op, "-ratio", 0.0);
    if (!(o.ratio > 0 && o.ratio <= 1))
        throw std::invalid_argument("option -ratio: " + std::string(op.getPara("-ratio")) +
                                    " is out of range: the ratio must satisfy 0 < R <= 1");
}

}  // namespace

double defaultRatio(float epsilon) { return 1.0 - 1.0 / std::sqrt(std::exp(1.0)) - static_cast<double>(epsilon); }

std::optional<std::string> pairListOption(int argc, char** argv) {
    return textOption(OptionParser(argc, argv), "-pairs");
}

MarletOptions readMarletOptions(const OptionParser& op, unsigned clockSeed) {
    MarletOptions o;
    CommonOptions& c = o.common;
    c.network = textOption(op, "-i", "network.bin");
    c.benefit = textOption(op, "-b");
    o.cost = textOption(op, "-c");
    c.model = textOption(op, "-m", "LT") == "IC" ? Model::IC : Model::LT;
    c.seedFile = textOption(op, "-o", "network.seeds");
    c.map = textOption(op, "-map");
    // The numbers, in this order, so that the first bad one is the one named.
    c.epsilon = static_cast<float>(realOption(op, "-epsilon", 0.1));
    if (op.getPara("-delta") != nullptr) o.delta = realOption(op, "-delta", 0.0);
    o.k = realOption(op, "-k", 100.0);
    o.select = selectRuleOption(op);
    c.threads = threadOption(op, "-t", 1);
    c.seed = static_cast<unsigned>(intOption(op, "-seed", clockSeed, 0, UINT32_MAX));
    o.memoryLimit = memoryLimitOption(op);
    o.timing = intOption(op, "-timing", 0, 0, 1) == 1;
    c.progress = progressOption(op);
    c.sampler = samplerOption(op);
    c.load = loadOption(op);
    c.json = textOption(op, "-json");
    o.certified = certifiedOption(op);
    readRatio(op, o);
    return o;
}

}  // namespace lattis
