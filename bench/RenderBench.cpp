#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include <QImage>

#include "design/Design.h"
#include "render/ImageSurface.h"
#include "render/MainView.h"
#include "render/QPainterSurface.h"
#include "render/RecordingSurface.h"
#include "render/StitchRenderer.h"

namespace {

// Satin-like runs of short stitches wandering over a 20 x 15 cm field, a jump every 400
// stitches and a colour change every 5,000, as dense designs are.
std::unique_ptr<Design> generatedDesign(std::int32_t stitches)
{
    auto design = std::make_unique<Design>();
    std::mt19937 random(42);
    std::uniform_int_distribution<int> step(-40, 40);
    std::uniform_int_distribution<int> jump(-2000, 2000);
    double x = 0, y = 0;
    std::int16_t block = 1;
    for (std::int32_t i = 0; i < stitches; ++i) {
        StitchType type = StitchType::Normal;
        std::int16_t color = 0;
        if (i % 5000 == 4999) {
            type = StitchType::ColorChange;
            color = ++block;
        } else if (i % 400 >= 396) {
            type = StitchType::Jump;
            x += jump(random) * 10.0;
            y += jump(random) * 10.0;
        } else {
            x += step(random) * 10.0;
            y += (i % 2 == 0 ? 1 : -1) * 300.0 + step(random) * 10.0;
        }
        x = std::clamp(x, -10000.0, 10000.0);
        y = std::clamp(y, -7500.0, 7500.0);
        const Stitch record{x, y, type, color};
        appendStitch(&design->stitches, record);
        extendExtents(&design->extents, record);
    }
    design->summary.stitchCount = stitches;
    return design;
}

struct Work
{
    std::int64_t segments = 0;
    std::int64_t pixels = 0; // steps along the segments' major axes
};

// What pass 0 plus pass 1 with the whole design sewn draw.
Work workOf(const MainViewState& state, RenderTarget size)
{
    RecordingSurface recorder;
    paintDesignArea(recorder, size, state);
    Work work;
    SurfacePoint last;
    for (const auto& call : recorder.calls()) {
        const bool line = call.kind == RecordingSurface::Kind::LineTo;
        if (call.kind != RecordingSurface::Kind::Polyline && !line &&
            call.kind != RecordingSurface::Kind::MoveTo)
            continue;
        for (std::size_t i = 0; i < call.points.size(); ++i) {
            const SurfacePoint d = call.mapping.toDevice(call.points[i]);
            if (i > 0 || line) {
                ++work.segments;
                work.pixels += std::max(std::abs(d.x - last.x), std::abs(d.y - last.y));
            }
            last = d;
        }
    }
    return work;
}

void BM_MainViewBothPasses(benchmark::State& st)
{
    const auto design = generatedDesign(std::int32_t(st.range(0)));
    static const std::array<ColorRef, kRenderColorCount> colors = {
        0x400000, 0xFF0000, 0x0000FF, 0x00FF00, 0xFFFF00, 0xFF00FF, 0x008000,
        0xFF80FF, 0x80FF80, 0x80B040, 0xB04080, 0xF080B0, 0x40B080, 0x804000,
        0x40B000, 0x400000, 0xFF0000, 0x0000FF, 0x00FF00, 0xFFFF00};
    MainViewState state;
    state.design = design.get();
    state.blockColors = colors;
    state.currentStitch = INT32_MAX;
    const RenderTarget size{673, 451};
    QImage image(size.width, size.height, QImage::Format_RGB32);
    for (auto _ : st) {
        image.fill(Qt::white);
        QPainterSurface surface(image);
        paintDesignArea(surface, size, state);
        surface.flush();
        benchmark::DoNotOptimize(image.constBits());
    }
    const Work work = workOf(state, size);
    st.counters["segments"] = double(work.segments);
    st.counters["pixels"] = double(work.pixels);
    st.counters["segments_per_s"] =
        benchmark::Counter(double(work.segments), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ImageSurfaceBothPasses(benchmark::State& st)
{
    // The same drawing through the Qt-free surface over a plain pixel vector.
    const auto design = generatedDesign(std::int32_t(st.range(0)));
    static const std::array<ColorRef, kRenderColorCount> colors = {
        0x400000, 0xFF0000, 0x0000FF, 0x00FF00, 0xFFFF00, 0xFF00FF, 0x008000,
        0xFF80FF, 0x80FF80, 0x80B040, 0xB04080, 0xF080B0, 0x40B080, 0x804000,
        0x40B000, 0x400000, 0xFF0000, 0x0000FF, 0x00FF00, 0xFFFF00};
    MainViewState state;
    state.design = design.get();
    state.blockColors = colors;
    state.currentStitch = INT32_MAX;
    const RenderTarget size{673, 451};
    std::vector<std::uint32_t> pixels(std::size_t(size.width) * std::size_t(size.height));
    for (auto _ : st) {
        std::fill(pixels.begin(), pixels.end(), pixelOf(kWhite));
        ImageSurface surface({pixels.data(), size.width, size.height, size.width});
        paintDesignArea(surface, size, state);
        surface.flush();
        benchmark::DoNotOptimize(pixels.data());
    }
}

void BM_WalkOnly(benchmark::State& st)
{
    // The state machine alone, drawing into a surface that discards everything.
    class NullSurface final : public DrawingSurface
    {
    public:
        Mapping mapping() const override { return m_mapping; }
        void setMapping(const Mapping& m) override { m_mapping = m; }
        Pen pen() const override { return m_pen; }
        void setPen(const Pen& p) override { m_pen = p; }
        void polyline(std::span<const SurfacePoint> p) override
        {
            benchmark::DoNotOptimize(p.data());
        }
        void moveTo(SurfacePoint) override {}
        void lineTo(SurfacePoint) override {}
        void lineStrip(std::span<const SurfacePoint> p) override
        {
            benchmark::DoNotOptimize(p.data());
        }
        void rectangle(const SurfaceRect&, ColorRef) override {}
        void fillRect(const SurfaceRect&, ColorRef) override {}
        void drawText(const SurfaceRect&, std::string_view, const TextStyle&) override {}

    private:
        Mapping m_mapping;
        Pen m_pen;
    };
    const auto design = generatedDesign(std::int32_t(st.range(0)));
    NullSurface surface;
    for (auto _ : st) {
        renderDesign(RenderPass::Whole, surface, {}, design->stitches, design->extents, {673, 451},
                     0);
    }
    st.counters["records_per_s"] =
        benchmark::Counter(double(st.range(0)), benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(BM_MainViewBothPasses)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageSurfaceBothPasses)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkOnly)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
