// Load and Save throughput on generated config files of 16, 128 and 1000 KiB
// (Load reads no file above 1 MiB),
// and inih's parse of the same bytes as the baseline. Prints MB/s for each
// and the ratio of Load to inih.
//
// Load and inih are timed in process CPU time (reading from the page cache
// is CPU work), which other load on a shared machine does not inflate; Save
// in wall time, since it waits for the disk.
//
// Freed memory stays with the process between iterations (as in any process
// that has run a while), so Load is measured with a warm heap at every size.
// "Load cold" hands the memory back to the system before each Load, so that
// it also pays for first-touch page faults, which a 1000 KiB document needs
// thousands of.
//
// Then the heap peak of Load on the worst case for memory: a file of the
// largest size read, made of the shortest lines that each add an entry or a
// section (the target: at most 50 times the file).
#include <benchmark/benchmark.h>
#include <ini.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "config/file_io.h"
#include "config/ini_file.h"

namespace fs = std::filesystem;

namespace {

// Heap bytes in use and their peak, counted by the operators below.
std::size_t g_heapInUse = 0;
std::size_t g_heapPeak = 0;

}  // namespace

void* operator new(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        std::abort();
    }
    g_heapInUse += malloc_usable_size(block);
    g_heapPeak = std::max(g_heapPeak, g_heapInUse);
    return block;
}
void operator delete(void* block) noexcept {
    if (block != nullptr) {
        g_heapInUse -= malloc_usable_size(block);
        std::free(block);
    }
}
void operator delete(void* block, std::size_t /*size*/) noexcept { operator delete(block); }

namespace {

constexpr int kSizesKiB[] = {16, 128, 1000};

const fs::path& WorkDir() {
    static const fs::path dir = [] {
        fs::path d =
            fs::temp_directory_path() / ("zarv_bench_config_" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

// A game-like config file: sections of 6 to 20 entries with realistic keys
// and values, comment lines, blank lines, CR LF line ends.
std::string Generate(std::size_t size) {
    static const char* const kKeys[] = {
        "texture_quality", "shadow_map_size", "render_distance",   "anisotropy",
        "vsync",           "fullscreen",      "window_title",      "last_save_path",
        "master_volume",   "music_volume",    "mouse_sensitivity", "invert_y",
        "language",        "subtitles",       "field_of_view",     "gamma",
        "key_forward",     "key_back",        "key_jump",          "max_fps",
        "difficulty",
    };
    static const char* const kSectionKinds[] = {"graphics", "audio",   "input",  "level",
                                                "player",   "network", "profile"};
    std::mt19937 rng(20240601);
    std::string text;
    text.reserve(size + 256);
    for (int section = 0; text.size() < size; ++section) {
        text += "; ---- ";
        text += kSectionKinds[section % 7];
        text += " settings, generated ----\r\n";
        text += '[';
        text += kSectionKinds[section % 7];
        text += '.';
        text += std::to_string(section);
        text += "]\r\n";
        const int entries = 6 + static_cast<int>(rng() % 15);
        for (int e = 0; e < entries; ++e) {
            const char* key = kKeys[rng() % (sizeof kKeys / sizeof kKeys[0])];
            text += key;
            text += '=';
            switch (rng() % 4) {
                case 0:
                    text += std::to_string(rng() % 4096);
                    break;
                case 1:
                    text += std::to_string(rng() % 100);
                    text += '.';
                    text += std::to_string(rng() % 100);
                    break;
                case 2:
                    text += "C:\\Games\\Zarv\\saves\\slot";
                    text += std::to_string(rng() % 64);
                    text += ".sav";
                    break;
                default:
                    text += rng() % 2 != 0 ? "true" : "Zarv - the long road home";
                    break;
            }
            text += "\r\n";
            if (rng() % 8 == 0) {
                text += "; changed by the launcher, do not edit by hand\r\n";
            }
        }
        text += "\r\n";
    }
    return text;
}

std::string FileOf(int kib) {
    const fs::path path = WorkDir() / ("config_" + std::to_string(kib) + "KiB.ini");
    if (!fs::exists(path)) {
        std::ofstream(path, std::ios::binary) << Generate(static_cast<std::size_t>(kib) << 10);
    }
    return path.string();
}

void SetBytes(benchmark::State& state, const std::string& path) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fs::file_size(path)));
}

// Loads the file into a fresh document. A cold load first hands the heap's
// free memory back to the system, so the document pays for its pages as it
// would in a new process.
void LoadDocument(benchmark::State& state, bool cold) {
    const std::string path = FileOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        if (cold) {
            malloc_trim(0);
        }
        auto ini = std::make_unique<CIniFile>();
        state.ResumeTiming();
        if (!ini->Load(path.c_str())) {
            state.SkipWithError("Load failed");
        }
        benchmark::DoNotOptimize(ini->GetString("audio.1", "gamma", nullptr));
        // Releasing the document is not part of Load.
        state.PauseTiming();
        ini.reset();
        state.ResumeTiming();
    }
    SetBytes(state, path);
}

void BM_Load(benchmark::State& state) { LoadDocument(state, false); }

void BM_LoadCold(benchmark::State& state) { LoadDocument(state, true); }

void BM_Save(benchmark::State& state) {
    const std::string path = FileOf(static_cast<int>(state.range(0)));
    const std::string out = (WorkDir() / "saved.ini").string();
    CIniFile ini;
    if (!ini.Load(path.c_str())) {
        state.SkipWithError("Load failed");
    }
    for (auto _ : state) {
        if (!ini.Save(out.c_str())) {
            state.SkipWithError("Save failed");
        }
    }
    SetBytes(state, out);
}

int CountEntry(void* user, const char* /*section*/, const char* /*name*/, const char* /*value*/) {
    ++*static_cast<long*>(user);
    return 1;
}

void BM_Inih(benchmark::State& state) {
    const std::string path = FileOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        long entries = 0;
        if (ini_parse(path.c_str(), CountEntry, &entries) != 0) {
            state.SkipWithError("inih failed");
        }
        benchmark::DoNotOptimize(entries);
    }
    SetBytes(state, path);
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (const int kib : kSizesKiB) {
        b->Arg(kib);
    }
    b->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.5);
}

BENCHMARK(BM_Load)->Apply(Sizes);
BENCHMARK(BM_Inih)->Apply(Sizes);
BENCHMARK(BM_LoadCold)->Apply(Sizes);
BENCHMARK(BM_Save)->Apply(Sizes)->UseRealTime();

// Collects MB/s per benchmark name for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end() && run.run_type == Run::RT_Iteration) {
                m_mbps[run.run_name.function_name + "/" + run.run_name.args] =
                    rate->second.value / 1e6;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintSummary() const {
        std::printf("\n%-6s %10s %10s %10s %15s %10s\n", "KiB", "Load MB/s", "inih MB/s",
                    "Load/inih", "Load cold MB/s", "Save MB/s");
        std::vector<double> loads;
        for (const int kib : kSizesKiB) {
            const double load = Get("BM_Load", kib);
            const double inih = Get("BM_Inih", kib);
            loads.push_back(load);
            std::printf("%-6d %10.1f %10.1f %10.2f %15.1f %10.1f\n", kib, load, inih,
                        inih > 0 ? load / inih : 0.0, Get("BM_LoadCold", kib), Get("BM_Save", kib));
        }
        if (loads.front() > 0) {
            std::printf("Load throughput at 1000 KiB relative to 16 KiB: %.2f\n",
                        loads.back() / loads.front());
        }
    }

private:
    double Get(const std::string& name, int kib) const {
        const auto it = m_mbps.find(name + "/" + std::to_string(kib));
        return it == m_mbps.end() ? 0.0 : it->second;
    }
    std::map<std::string, double> m_mbps;
};

void PrintLoadPeaks() {
    const auto size = static_cast<std::size_t>(ini::kMaxFileSize);
    const std::string path = (WorkDir() / "worst.ini").string();
    const std::pair<const char*, std::string> kLines[] = {
        {"=LF", "=\n"}, {"=CRLF", "=\r\n"}, {"[]LF", "[]\n"}};
    for (const auto& [shown, line] : kLines) {
        std::string text = "[s]\n";
        while (text.size() + line.size() <= size) {
            text += line;
        }
        std::ofstream(path, std::ios::binary) << text;
        CIniFile ini;
        const std::size_t before = g_heapPeak = g_heapInUse;
        if (!ini.Load(path.c_str())) {
            std::printf("Load failed\n");
        }
        std::printf("Load peak, lines \"%s\": %zu bytes, %.1f times the file\n", shown,
                    g_heapPeak - before,
                    static_cast<double>(g_heapPeak - before) / static_cast<double>(size));
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    PrintLoadPeaks();
    std::error_code ignored;
    fs::remove_all(WorkDir(), ignored);
    benchmark::Shutdown();
    return 0;
}
