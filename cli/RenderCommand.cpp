#include "cli/RenderCommand.h"

#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include <QGuiApplication>
#include <QImage>
#include <QString>

#include "cli/DesignFile.h"
#include "link/CommandPacket.h"
#include "render/DesignImage.h"
#include "render/StitchRenderer.h"

namespace {

const char* const kRenderUsage =
    "usage: hoopwatch-cli render FILE -o OUT.png [--size WxH] [--progress N] [--preview]\n"
    "                            [--summary]\n"
    "  Draws the design as the main view does (white field, black border, the design in\n"
    "  the colours a fresh import gives it) and writes a PNG.\n"
    "  --size WxH     size of the design field in pixels (default 673x451)\n"
    "  --progress N   machine's current stitch number: the design greyed, the first N\n"
    "                 steps drawn over it in colour\n"
    "  --preview      draw as the file preview does instead\n"
    "  --summary      add the summary line under the field\n"
    "Exit: 0 written, 1 the file could not be read, is larger than 40960000 bytes or the PNG\n"
    "      not written, 2 unknown suffix or bad arguments.\n";

constexpr int kMaxSide = 16384;
// Qt's PNG quality: 0 is the strongest compression, 100 none; 50 is zlib level 4. On a busy
// design that writes in about two thirds of the default level's time for a file about a tenth
// larger; the faster levels grow the file by half for little more (bench_png).
constexpr int kPngQuality = 50;

int usageError(const std::string& message)
{
    std::fprintf(stderr, "hoopwatch-cli render: %s\n\n%s", message.c_str(), kRenderUsage);
    return kExitUsage;
}

std::optional<std::pair<int, int>> parseSize(const std::string& text)
{
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos)
        return std::nullopt;
    const auto w = parseInt(text.substr(0, x));
    const auto h = parseInt(text.substr(x + 1));
    if (!w || !h || *w < 1 || *h < 1 || *w > kMaxSide || *h > kMaxSide)
        return std::nullopt;
    return std::pair{*w, *h};
}

// The colours the main window gives the colour blocks right after an import: block i takes
// palette entry i mod 15. The renderer reads indices 0 to 19 only, so those are enough;
// blocks the design does not have keep the sequence's start-up red.
std::array<ColorRef, kRenderColorCount> importedBlockColors(const ColorPalette& palette,
                                                            std::int32_t colorCount)
{
    std::array<ColorRef, kRenderColorCount> colors{};
    for (int i = 0; i < kRenderColorCount; ++i)
        colors[std::size_t(i)] = i < colorCount
                                     ? palette.colors[std::size_t(i) % palette.colors.size()]
                                     : kUnsetBlockColor;
    return colors;
}

} // namespace

int runRender(ArgList args)
{
    if (args.takeFlag("--help") || args.takeFlag("-h")) {
        std::fputs(kRenderUsage, stdout);
        return 0;
    }
    std::optional<std::string> out = args.take("-o");
    if (!out)
        out = args.take("--output");
    const std::optional<std::string> sizeText = args.take("--size");
    const std::optional<std::string> progressText = args.take("--progress");
    DesignImageOptions options;
    options.preview = args.takeFlag("--preview");
    options.summary = args.takeFlag("--summary");
    if (auto unknown = args.unknownOption())
        return usageError("unknown option '" + *unknown + "'");
    if (args.rest().size() != 1)
        return usageError("needs exactly one design FILE");
    if (!out || out->empty())
        return usageError("needs -o OUT.png");
    if (sizeText) {
        const auto size = parseSize(*sizeText);
        if (!size)
            return usageError("--size needs WxH, each 1 to 16384, not '" + *sizeText + "'");
        options.width = size->first;
        options.height = size->second;
    }
    if (progressText) {
        const auto progress = parseInt(*progressText);
        if (!progress || *progress < 0)
            return usageError("--progress needs a stitch number, not '" + *progressText + "'");
        options.progress = *progress;
    }

    const std::string& path = args.rest().front();
    auto design = std::make_unique<Design>();
    if (const int rc = loadDesignForCli(path, design.get(), true); rc != 0)
        return rc;
    if (design->stitches.count < 1) {
        std::fprintf(stderr, "hoopwatch-cli: %s: no stitches could be read\n", path.c_str());
        return kExitUnreadable;
    }

    // Text needs the font machinery of a GUI application; the off-screen platform suffices.
    std::unique_ptr<QGuiApplication> app;
    if (options.summary && !QGuiApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "hoopwatch-cli";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }

    const auto colors = importedBlockColors(defaultColorPalette(), design->summary.colorCount);
    options.blockColors = colors;
    const QImage image = renderDesignImage(*design, options);
    if (!image.save(QString::fromStdString(*out), "PNG", kPngQuality)) {
        std::fprintf(stderr, "hoopwatch-cli: %s: cannot write the image\n", out->c_str());
        return kExitUnreadable;
    }
    std::printf("%s: %dx%d\n", out->c_str(), image.width(), image.height());
    return 0;
}
