// Probes: randomized runs of many small Win32 calls in one area (INF reading, the registry, files,
// services), written once
// against the Win32 API like the rest of the runner. The same seed makes the same inputs and calls on
// every machine, and the transcript says what each call returned, so a simulated machine's transcript
// and a real Windows' (or Wine's) can be compared line by line as scenario dumps are.
//
// A scenario runs one with the call line `probe AREA SEED COUNT`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace scenario {

// Each runs COUNT random cases from SEED and appends their transcript. They leave nothing behind: the
// INF files go in C:\KvProbe, the registry work under HKCU\Software\KvProbe, the file work in
// C:\KvProbeFiles, the services KvProbeA and KvProbeB, each removed at the end.
void RunInfProbe(uint64_t seed, unsigned count, std::vector<std::string>* lines);
void RunRegistryProbe(uint64_t seed, unsigned count, std::vector<std::string>* lines);
void RunFilesProbe(uint64_t seed, unsigned count, std::vector<std::string>* lines);
void RunServicesProbe(uint64_t seed, unsigned count, std::vector<std::string>* lines);

// The areas a probe line may name, and the probe of each.
inline bool IsProbeArea(const std::string& area) {
    return area == "inf" || area == "registry" || area == "files" || area == "services";
}
inline void RunProbe(const std::string& area, uint64_t seed, unsigned count, std::vector<std::string>* lines) {
    (area == "inf"        ? RunInfProbe
     : area == "registry" ? RunRegistryProbe
     : area == "files"    ? RunFilesProbe
                          : RunServicesProbe)(seed, count, lines);
}

// The probes' random numbers: splitmix64, the same sequence on every compiler and machine.
class ProbeRandom {
public:
    explicit ProbeRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. bound-1.
    unsigned Below(unsigned bound) { return static_cast<unsigned>(Next() % bound); }
    // True `percent` times in a hundred.
    bool Chance(unsigned percent) { return Below(100) < percent; }
    template <typename T, size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Below(N)];
    }

private:
    uint64_t state_;
};

}  // namespace scenario
