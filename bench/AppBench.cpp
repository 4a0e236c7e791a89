#include <cstdint>
#include <string>

#include <benchmark/benchmark.h>

#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "tests/support/TempFolder.h"

namespace {

// A settings file of about `bytes` bytes: the usual sections plus comment lines.
std::string makeSettings(std::size_t bytes)
{
    std::string text = "[Z62_Net_Count]\ncount=0\n[Z62Language]\nLanguage=2\n";
    const std::string comment = "; " + std::string(78, 'c') + "\n";
    while (text.size() + comment.size() <= bytes)
        text += comment;
    return text;
}

// One write of one key: a locked read-modify-write and an atomic replacement of the whole
// file, the cost every append and tick pays. In memory, so the disk's flush is left out.
void BM_WriteKey(benchmark::State& state)
{
    TempFolder folder(true);
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    writeBytes(config.path(), makeSettings(static_cast<std::size_t>(state.range(0))));
    int value = 0;
    for (auto _ : state) {
        if (!config.writeText("Z62Language", "Language", (++value % 2) ? "1" : "2"))
            state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_WriteKey)->Arg(4 << 10)->Arg(256 << 10)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

// Appending a machine to a table of 30, on a file of the given size.
void BM_AppendMachine(benchmark::State& state)
{
    TempFolder folder(true);
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    writeBytes(config.path(), makeSettings(static_cast<std::size_t>(state.range(0))));
    const MachineTable table(config);
    for (int m = 0; m < 30; ++m)
        table.append("127.0.0." + std::to_string(m));
    for (auto _ : state) {
        state.PauseTiming();
        config.writeText("Z62_Net_Count", "count", "30");
        state.ResumeTiming();
        if (!table.append("127.0.1.1"))
            state.SkipWithError("append failed");
    }
}
BENCHMARK(BM_AppendMachine)->Arg(4 << 10)->Arg(1000 << 10)->Unit(benchmark::kMicrosecond);

// A 50 MB file is refused without being read or rewritten.
void BM_RefuseOversizedFile(benchmark::State& state)
{
    TempFolder folder(true);
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    writeBytes(config.path(), makeSettings(50u << 20));
    for (auto _ : state) {
        if (config.writeText("Z62Language", "Language", "1"))
            state.SkipWithError("an oversized file was written");
        benchmark::DoNotOptimize(config.readNumber("Z62Language", "Language", "1"));
    }
}
BENCHMARK(BM_RefuseOversizedFile)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
