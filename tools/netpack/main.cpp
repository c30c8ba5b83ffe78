// netpack entry: packs an edge list, a Matrix Market file or an R-MAT
// network into the suite's files, translates seeds back to original ids, or
// checks a network file. The work is done by netpacklib (netpack.h); this
// file only parses the command line, prints and chooses the exit status.
#include "netpack/netpack.h"

#include <omp.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#include <string>

namespace {

void printPackReport(const netpack::PackConfig& cfg, const netpack::PackReport& r) {
    char rate[128] = "";
    if (!cfg.generate) {
        double mb = static_cast<double>(r.bytes) / 1e6;
        std::snprintf(rate, sizeof rate, " from %llu lines (%.1f MB in %.2f s, %.0f MB/s)",
                      static_cast<unsigned long long>(r.lines), mb, r.readSeconds,
                      r.readSeconds > 0 ? mb / r.readSeconds : 0.0);
    }
    std::cerr << "netpack: " << (cfg.generate ? std::string("-gen rmat") : cfg.input) << ": " << r.entries
              << (cfg.generate     ? " arcs drawn"
                  : cfg.undirected ? " edges read"
                                   : " arcs read")
              << rate << "; " << r.counts.selfLoops << " self-loops dropped, " << r.counts.duplicates
              << " duplicate arcs merged";
    if (cfg.normalize) std::cerr << "; " << r.normalized << " nodes normalized";
    std::cerr << '\n';
    std::cout << cfg.networkOut << ": " << r.n << " nodes, " << r.arcs << " arcs, " << r.networkBytes << " bytes\n";
    std::cout << "wrote";
    for (const std::string& f : r.written) std::cout << ' ' << f;
    std::cout << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    try {
        netpack::ParsedCommand parsed = netpack::parseCommandLine(argc, argv);
        if (!parsed.command) {
            std::cout << "Parameters error, please check the readme.txt file for correct format!\n";
            std::cerr << "netpack: " << parsed.problem << '\n' << netpack::kUsage;
            return 255;
        }
        const netpack::Command& cmd = *parsed.command;
        omp_set_num_threads(cmd.threads);
        switch (cmd.mode) {
            case netpack::Command::Mode::Pack:
                printPackReport(cmd.pack, netpack::pack(cmd.pack));
                break;
            case netpack::Command::Mode::Unmap:
                for (std::uint64_t id : netpack::unmapSeeds(cmd.seedFile, cmd.mapFile)) std::cout << id << '\n';
                break;
            case netpack::Command::Mode::Info: {
                netpack::NetworkInfo info = netpack::inspectNetwork(cmd.infoFile, cmd.infoBenefit);
                std::cout << netpack::formatInfo(cmd.infoFile, info);
                if (std::string note = netpack::infoNote(info); !note.empty()) {
                    std::cout.flush();
                    std::cerr << "netpack: note: " << note << '\n';
                }
                std::string fault = netpack::infoFault(cmd.infoFile, info);
                if (!fault.empty()) {
                    std::cout.flush();
                    std::cerr << "netpack: " << fault << '\n';
                    return 1;
                }
                break;
            }
        }
        std::cout.flush();
        if (!std::cout) {
            std::cerr << "netpack: cannot write to standard output\n";
            return 1;
        }
        return 0;
    } catch (const std::bad_alloc&) {
        std::cout.flush();
        std::cerr << "netpack: out of memory (std::bad_alloc) while reading or packing the network; free memory "
                     "or pack a smaller network\n";
        return 1;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "netpack: " << e.what() << '\n';
        return 1;
    }
}
