// Test helpers: write tiny networks, benefit and cost files into a fresh
// temporary directory, and run a program capturing its output.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace lattis {

namespace testnet {

struct Arc {
    int u, v;   // an edge u -> v: u is an in-neighbour of v
    float p;
};

// A directory under the system's temporary directory, removed at scope end.
class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "lattis-test-XXXXXX").string();
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir = buf.data();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    const std::filesystem::path& root() const { return dir; }

private:
    std::filesystem::path dir;
};

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Whether `text` holds every one of `parts`; the failure names the first
// part missing and the text.
inline testing::AssertionResult holdsAll(const std::string& text, const std::vector<std::string>& parts) {
    for (const std::string& p : parts)
        if (!contains(text, p)) return testing::AssertionFailure() << "\"" << p << "\" not in: " << text;
    return testing::AssertionSuccess();
}

// The message of the exception of type E that `f` throws; a failure, and
// "", when it throws none (another type fails the test as uncaught).
template <class E = std::exception, class F>
std::string messageOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    ADD_FAILURE() << "no exception thrown";
    return {};
}

inline void writeBytes(const std::string& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

template <class T>
void appendRaw(std::string& s, T v) {
    s.append(reinterpret_cast<const char*>(&v), sizeof v);
}

// The network file for n nodes: header, in-degrees, in-neighbour lists and
// probabilities, each node's in-edges in the order the arcs are given.
inline std::string networkBytes(int n, const std::vector<Arc>& arcs) {
    std::vector<std::vector<const Arc*>> in(static_cast<std::size_t>(n) + 1);
    for (const Arc& a : arcs) in[static_cast<std::size_t>(a.v)].push_back(&a);
    std::string s;
    appendRaw<std::uint32_t>(s, static_cast<std::uint32_t>(n));
    appendRaw<std::uint64_t>(s, arcs.size());
    for (int v = 1; v <= n; ++v) appendRaw<std::int32_t>(s, static_cast<std::int32_t>(in[v].size()));
    for (int v = 1; v <= n; ++v)
        for (const Arc* a : in[v]) appendRaw<std::int32_t>(s, a->u);
    for (int v = 1; v <= n; ++v)
        for (const Arc* a : in[v]) appendRaw<float>(s, a->p);
    return s;
}

inline void writeNetwork(const std::string& file, int n, const std::vector<Arc>& arcs) {
    writeBytes(file, networkBytes(n, arcs));
}

// One value per line, written with enough digits to read back exactly.
template <class T>
void writeValues(const std::string& file, const std::vector<T>& values) {
    std::ofstream out(file);
    out.precision(17);
    for (const T& v : values) out << v << '\n';
}

// The programs' end-to-end network of n nodes: node 1 has an arc into every
// other node (p = 0.5), and every node u has arcs u -> u+1 and u -> u+3 (ids
// taken cyclically in 1..n, p = 0.3):
//
//        1 ──0.5──> every other node
//        u ──0.3──> u+1,  u ──0.3──> u+3
//
// Written into dir as net.bin with unit benefits (net.ben) and node i costing
// 1 + (i mod 3) (net.cost); returns the costs.
inline std::vector<float> writeProgramNetwork(const TempDir& dir, int n) {
    std::vector<Arc> arcs;
    for (int v = 2; v <= n; ++v) arcs.push_back({1, v, 0.5f});
    for (int u = 1; u <= n; ++u) {
        arcs.push_back({u, u % n + 1, 0.3f});
        arcs.push_back({u, (u + 2) % n + 1, 0.3f});
    }
    writeNetwork(dir.path("net.bin"), n, arcs);
    writeValues<double>(dir.path("net.ben"), std::vector<double>(static_cast<std::size_t>(n), 1.0));
    std::vector<float> costs;
    for (int i = 1; i <= n; ++i) costs.push_back(static_cast<float>(1 + i % 3));
    writeValues<float>(dir.path("net.cost"), costs);
    return costs;
}

// The shape of a small random test network: n nodes with up to six
// in-edges each from distinct sources; under LT a node's in-weights are 0.9
// split evenly, under IC each probability is icBase + 0.1 j with j drawn
// below icSteps; the benefit of node v is 0 when v - 1 is a multiple of
// zeroEvery and 1 to 3 otherwise. Networks of one shape, seed included, are equal.
struct RandomNetShape {
    int n;
    unsigned seed;
    float icBase;
    unsigned icSteps;
    int zeroEvery;
};

// Writes such a network and its benefits into dir (net.bin, ben.txt) and
// loads them into g under LT or IC.
template <class G>
void loadRandomNetwork(G& g, const TempDir& dir, bool lt, const RandomNetShape& shape) {
    const int n = shape.n;
    std::mt19937 rng(shape.seed);
    std::vector<Arc> arcs;
    for (int v = 1; v <= n; ++v) {
        const int d = static_cast<int>(rng() % 7);
        std::set<int> from;
        while (static_cast<int>(from.size()) < d) from.insert(1 + static_cast<int>(rng() % n));
        for (int u : from)
            arcs.push_back({u, v, lt ? 0.9f / static_cast<float>(d) : shape.icBase + 0.1f * (rng() % shape.icSteps)});
    }
    std::vector<double> ben(static_cast<std::size_t>(n));
    for (int v = 0; v < n; ++v) ben[static_cast<std::size_t>(v)] = v % shape.zeroEvery == 0 ? 0.0 : 1.0 + v % 3;
    writeNetwork(dir.path("net.bin"), n, arcs);
    writeValues(dir.path("ben.txt"), ben);
    if (lt)
        g.readGraphLT(dir.path("net.bin").c_str(), dir.path("ben.txt").c_str());
    else
        g.readGraphIC(dir.path("net.bin").c_str(), dir.path("ben.txt").c_str());
}

// Options of a run of marlet and of ostrand on writeProgramNetwork's files
// (and a seed file s.txt), and a list of options with others added.
inline const std::vector<std::string> kMarletArgs{"-i",       "net.bin", "-b", "net.ben", "-c",
                                                  "net.cost", "-k",      "5",  "-seed",   "7"};
inline const std::vector<std::string> kOstrandArgs{"-i", "net.bin", "-b", "net.ben", "-s", "s.txt", "-seed", "7"};
inline std::vector<std::string> with(std::vector<std::string> base, const std::vector<std::string>& extra) {
    base.insert(base.end(), extra.begin(), extra.end());
    return base;
}

// Standard error without the note on LT in-weights summing above 1, which
// runs on writeProgramNetwork's network (in-weights up to 1.1) always give.
inline std::string withoutInWeightNote(const std::string& err) {
    std::istringstream in(err);
    std::string kept;
    for (std::string l; std::getline(in, l);)
        if (l.find(": note: under LT the in-weights of ") == std::string::npos) kept += l + '\n';
    return kept;
}

inline std::string readFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct RunResult {
    int status = -1;     // exit status, or -1 when the program did not exit normally
    std::string out;     // standard output
    std::string err;     // standard error
};

// Where a run's standard output goes: a file that is captured, a full
// device, or a pipe whose reading end is already closed.
enum class Stdout { Capture, DevFull, ClosedPipe };

// Runs argv[0] with the given arguments in directory cwd, standard input from
// /dev/null, and captures both output streams.
inline RunResult run(const std::vector<std::string>& argv, const std::string& cwd, Stdout to = Stdout::Capture) {
    TempDir capture;
    std::string outFile = capture.path("out"), errFile = capture.path("err");
    int closed[2] = {-1, -1};
    // The reading end is closed before the program starts, so its first write fails.
    if (to == Stdout::ClosedPipe && (pipe(closed) != 0 || close(closed[0]) != 0))
        throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(127);
        const char* out = to == Stdout::DevFull ? "/dev/full" : outFile.c_str();
        if (!freopen("/dev/null", "r", stdin) || !freopen(out, "w", stdout) || !freopen(errFile.c_str(), "w", stderr))
            _exit(127);
        if (to == Stdout::ClosedPipe && dup2(closed[1], 1) < 0) _exit(127);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    if (to == Stdout::ClosedPipe) close(closed[1]);
    int st = 0;
    waitpid(pid, &st, 0);
    RunResult r;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = readFile(outFile);
    r.err = readFile(errFile);
    return r;
}

}  // namespace testnet

}  // namespace lattis
