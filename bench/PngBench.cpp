#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>

#include "design/DesignLoader.h"
#include "render/DesignImage.h"
#include "render/StitchRenderer.h"

namespace {

// A dense DST design: a random walk of stitches up to 4 mm long in colour blocks of 3,000,
// drawn over most of the field as a busy real design is.
std::unique_ptr<Design> dstDesign(std::size_t records)
{
    std::vector<std::uint8_t> bytes(512, 0x20);
    std::mt19937 rng(7);
    for (std::size_t i = 0; i < records; ++i) {
        const auto r = rng();
        const std::uint8_t b2 = i % 3000 == 2999 ? 0xC3 : 0x03;
        bytes.insert(bytes.end(),
                     {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(r >> 8), b2});
    }
    bytes.insert(bytes.end(), {0x00, 0x00, 0xF3});
    auto design = std::make_unique<Design>();
    readDesignBytes(DesignFormat::Dst, bytes, &design->stitches, &design->extents,
                    &design->summary);
    return design;
}

// PNG writing of a rendered design at Qt's quality settings (0 strongest compression, 100
// none, -1 the library default); the counter gives the file size.
void BM_WritePng(benchmark::State& state)
{
    const auto design = dstDesign(20'000);
    static const std::array<ColorRef, kRenderColorCount> kColors = {
        0x400000, 0xFF0000, 0x0000FF, 0x00FF00, 0xFFFF00, 0xFF00FF, 0x008000,
        0xFF80FF, 0x80FF80, 0x80B040, 0xB04080, 0xF080B0, 0x40B080, 0x804000,
        0x40B000, 0x400000, 0xFF0000, 0x0000FF, 0x00FF00, 0xFFFF00};
    DesignImageOptions options;
    options.blockColors = kColors;
    options.width = static_cast<std::int32_t>(state.range(1));
    options.height = options.width * 2 / 3;
    const QImage image = renderDesignImage(*design, options);
    const int quality = static_cast<int>(state.range(0));
    qint64 size = 0;
    for (auto _ : state) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG", quality);
        size = buffer.size();
    }
    state.counters["png_kB"] = double(size) / 1e3;
}

} // namespace

BENCHMARK(BM_WritePng)
    ->ArgsProduct({{-1, 0, 50, 70, 80, 90}, {673, 2000}})
    ->ArgNames({"quality", "width"})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
