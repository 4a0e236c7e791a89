#include <cstdint>
#include <random>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "design/DesignLoader.h"
#include "design/DstReader.h"

namespace {

// A DST file of `stitches` records: mostly short stitches in every direction, a jump every
// 50 records, a colour change every 5,000, and an end mark.
std::vector<std::uint8_t> makeDst(std::size_t stitches)
{
    std::vector<std::uint8_t> bytes(512, 0x20);
    bytes.reserve(512 + 3 * (stitches + 1));
    std::mt19937 rng(12345);
    for (std::size_t i = 0; i < stitches; ++i) {
        const auto r = rng();
        std::uint8_t b2 = 0x03;
        if (i % 5000 == 4999)
            b2 = 0xC3;
        else if (i % 50 == 49)
            b2 = 0x83 | static_cast<std::uint8_t>(r >> 24 & 0x3C);
        bytes.push_back(static_cast<std::uint8_t>(r));
        bytes.push_back(static_cast<std::uint8_t>(r >> 8));
        bytes.push_back(b2);
    }
    bytes.insert(bytes.end(), {0x00, 0x00, 0xF3});
    return bytes;
}

void setCounters(benchmark::State& state, const std::vector<std::uint8_t>& file,
                 const StitchList& list)
{
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * list.count);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(file.size()));
    state.counters["records"] = list.count;
    state.counters["list_MB"] = double(list.records.capacity() * sizeof(Stitch)) / 1e6;
    state.counters["file_MB"] = double(file.size()) / 1e6;
}

// Decoding into a fresh list each time, as a load does (storage obtained per run).
void BM_ReadDst(benchmark::State& state)
{
    const auto file = makeDst(static_cast<std::size_t>(state.range(0)));
    StitchList list;
    DesignExtents extents;
    for (auto _ : state) {
        clearStitches(&list);
        readDst(file, &list, &extents);
        benchmark::DoNotOptimize(list.records.data());
    }
    setCounters(state, file, list);
}

// The decoder alone: the list keeps its storage between runs, so the operating system's
// first touch of fresh pages is left out of the figure.
void BM_DecodeDstIntoWarmList(benchmark::State& state)
{
    const auto file = makeDst(static_cast<std::size_t>(state.range(0)));
    StitchList list;
    DesignExtents extents;
    readDst(file, &list, &extents);
    for (auto _ : state) {
        list.count = 0;
        readDst(file, &list, &extents);
        benchmark::DoNotOptimize(list.records.data());
    }
    setCounters(state, file, list);
}

// The whole in-memory load: decode with the summary counted in the same pass.
void BM_ReadAndSummarizeDst(benchmark::State& state)
{
    const auto file = makeDst(static_cast<std::size_t>(state.range(0)));
    Design design;
    for (auto _ : state) {
        clearStitches(&design.stitches);
        readDesignBytes(DesignFormat::Dst, file, &design.stitches, &design.extents,
                        &design.summary);
        benchmark::DoNotOptimize(design.summary);
    }
    setCounters(state, file, design.stitches);
}

// What `info` does: the summary and extents without keeping the records.
void BM_SummarizeDstWithoutList(benchmark::State& state)
{
    const auto file = makeDst(static_cast<std::size_t>(state.range(0)));
    Design design;
    for (auto _ : state) {
        readDesignBytes(DesignFormat::Dst, file, nullptr, &design.extents, &design.summary);
        benchmark::DoNotOptimize(design.summary);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            design.summary.stitchCount);
    state.counters["records"] = design.summary.stitchCount;
}

// The walk over a stored list that a caller without the reading pass pays on top.
void BM_SummarizeStoredList(benchmark::State& state)
{
    const auto file = makeDst(static_cast<std::size_t>(state.range(0)));
    Design design;
    readDst(file, &design.stitches, &design.extents);
    for (auto _ : state) {
        summarizeDesign(&design);
        benchmark::DoNotOptimize(design.summary);
    }
    setCounters(state, file, design.stitches);
}

// A whole load from a file, as the window and the tool do it: open, read once, decode with
// the summary, release the bytes. The list is fresh each time, as in a new process.
void BM_LoadDstFile(benchmark::State& state)
{
    const auto file = makeDst(static_cast<std::size_t>(state.range(0)));
    char path[] = "/tmp/hoopwatch-bench-XXXXXX.dst";
    const int fd = ::mkstemps(path, 4);
    if (fd < 0 || ::write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size())) {
        state.SkipWithError("cannot write the design file");
        return;
    }
    ::close(fd);
    Design design;
    for (auto _ : state) {
        loadDesign(path, &design);
        benchmark::DoNotOptimize(design.summary);
    }
    ::unlink(path);
    setCounters(state, file, design.stitches);
}

} // namespace

BENCHMARK(BM_ReadDst)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDstIntoWarmList)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndSummarizeDst)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SummarizeDstWithoutList)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDstFile)->Arg(100'000)->Arg(2'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SummarizeStoredList)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
