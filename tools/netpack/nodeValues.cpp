// Costs, benefits and targets given by original node id, as a study has
// them (prices per account, a campaign's target list), checked against the
// ids of the packed network.
//
// Every line of such a file must name a node of the network once: an id
// that no node has is a typing slip or a file for another network, and an
// id given twice leaves the value in doubt, so both are refused rather than
// resolved. Values are checked by the rules of the files marlet and ostrand
// read, and kept as written, so that the output holds the file's numbers
// exactly (as a join of the file with the id map would).
#include <cmath>
#include <limits>
#include <stdexcept>

#include "core/parse.h"
#include "netpack/lineInput.h"
#include "netpack/netpack.h"

namespace netpack {

namespace {

// Ids of nodes a file leaves out that a message lists.
constexpr std::uint32_t kListedMissing = 5;

class IdFileReader {
public:
    IdFileReader(const std::string& path, const Network& net, const std::string& source)
        : path(path), net(net), source(source), firstLine(static_cast<std::size_t>(net.n) + 1, 0) {}

    // Calls onEntry(node, fields, line) for every line that is not blank or
    // a comment, after checking that it has `fields` fields whose first is
    // the id of a node not named before (`form` describes the line).
    template <class F>
    std::uint64_t read(int fields, const std::string& form, F&& onEntry) {
        GzInput in(path);
        std::uint64_t lineNo = 0, bytes = 0;
        scanLines(in, path, lineNo, bytes, [&](std::string_view text, std::uint64_t no) {
            const Fields fl = split(text);
            if (fl.count == 0 || isComment(fl)) return;
            if (fl.count != fields || fl.more) lineFault(path, no, "expected " + form + ", got " + quoteToken(text));
            onEntry(node(fl.f[0], no), fl, no);
        });
        return lineNo;
    }

    // The nodes not named, for the refusal of a file that leaves some out.
    std::vector<std::uint32_t> unnamed() const {
        std::vector<std::uint32_t> nodes;
        for (std::uint32_t v = 1; v <= net.n; ++v)
            if (firstLine[v] == 0) nodes.push_back(v);
        return nodes;
    }

    std::string missingFault(const std::vector<std::uint32_t>& nodes, const char* what) const {
        std::string ids;
        for (std::size_t i = 0; i < nodes.size() && i < kListedMissing; ++i)
            ids += (i == 0 ? "" : ", ") + std::to_string(net.originalId(nodes[i]));
        if (nodes.size() > kListedMissing) ids += ", ...";
        return path + ": expected a " + what + " for every node of " + source + ", found none for " +
               std::to_string(nodes.size()) + " of its " + std::to_string(net.n) + " nodes (original id" +
               (nodes.size() == 1 ? " " : "s ") + ids + "); add them, or give them a value with -missing V";
    }

private:
    std::uint32_t node(std::string_view token, std::uint64_t no) {
        const std::uint32_t v = net.nodeOf(parseNodeId(path, no, token));
        if (v == 0)
            lineFault(path, no, "expected the original id of a node of " + networkIds() + ", got " + quoteToken(token));
        if (firstLine[v] != 0)
            lineFault(path, no,
                      "expected each original id once, got " + quoteToken(token) + " again (first on line " +
                          std::to_string(firstLine[v]) + ")");
        firstLine[v] = no;
        return v;
    }

    // The network whose ids are meant, with their range when they have no gaps.
    std::string networkIds() const {
        if (!net.origId.empty()) return source;
        return source + " (" + std::to_string(net.originalId(1)) + " to " + std::to_string(net.originalId(net.n)) + ")";
    }

    const std::string& path;
    const Network& net;
    const std::string& source;
    std::vector<std::uint64_t> firstLine;  // per node: the line naming it, 0 when none has
};

}  // namespace

std::string expectedValue(ValueKind kind) {
    return kind == ValueKind::Cost ? "a positive finite cost" : "a finite benefit";
}

std::optional<double> parseValue(ValueKind kind, std::string_view text) {
    const std::optional<double> v = parseReal(text);
    if (!v || !std::isfinite(*v)) return std::nullopt;
    if (kind == ValueKind::Cost && !(*v > 0 && *v <= std::numeric_limits<float>::max())) return std::nullopt;
    return v;
}

GivenValues readGivenValues(const std::string& path, ValueKind kind, const Network& net, const std::string& source,
                            const std::optional<std::string>& missing) {
    const char* what = kind == ValueKind::Cost ? "cost" : "benefit";
    GivenValues given;
    given.at.assign(static_cast<std::size_t>(net.n) + 1, 0);
    double sum = 0;
    IdFileReader reader(path, net, source);
    const auto take = [&](std::uint32_t v, const Fields& fl, std::uint64_t no) {
        const std::optional<double> value = parseValue(kind, fl.f[1]);
        if (!value) lineFault(path, no, "expected " + expectedValue(kind) + ", got " + quoteToken(fl.f[1]));
        sum += *value;
        given.at[v] = given.text.size();
        given.text.append(fl.f[1]).push_back('\n');
    };
    reader.read(2, std::string("\"original-id ") + what + "\"", take);
    const std::vector<std::uint32_t> unnamed = reader.unnamed();
    if (!unnamed.empty()) {
        if (!missing) throw std::runtime_error(reader.missingFault(unnamed, what));
        sum += static_cast<double>(unnamed.size()) * *parseValue(kind, *missing);
        for (std::uint32_t v : unnamed) given.at[v] = given.text.size();
        given.text.append(*missing).push_back('\n');
    }
    // Each value is finite, but the estimates scale by their sum.
    if (!std::isfinite(sum))
        throw std::runtime_error(path + ": the " + what + "s sum past the range of a double; scale them down");
    return given;
}

std::vector<std::uint32_t> readTargets(const std::string& path, const Network& net, const std::string& source) {
    std::vector<std::uint32_t> benefit(static_cast<std::size_t>(net.n) + 1, 0);
    std::uint64_t targets = 0;
    IdFileReader reader(path, net, source);
    const std::uint64_t lines = reader.read(1, "one original id", [&](std::uint32_t v, const Fields&, std::uint64_t) {
        benefit[v] = 1;
        ++targets;
    });
    if (targets == 0)
        throw std::runtime_error(path + ": expected at least one target id, found none in " + std::to_string(lines) +
                                 " lines");
    return benefit;
}

}  // namespace netpack
