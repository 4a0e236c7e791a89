#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "design/Design.h"
#include "render/DrawingSurface.h"

// Pins the exact pixels of the drawing: any change to the line, mapping or walk code that
// moves a single pixel changes one of these fingerprints. The design is generated with a
// fixed integer sequence (no library distributions, whose output differs between standard
// libraries) and holds every kind of record the walk treats differently.
namespace identity {

class Sequence
{
public:
    std::uint32_t next()
    {
        m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
        return std::uint32_t(m_state >> 33);
    }
    int between(int low, int high) { return low + int(next() % std::uint32_t(high - low + 1)); }

private:
    std::uint64_t m_state = 0x2545F4914F6CDD1Dull;
};

// 20,000 records: satin runs with a long unbroken stretch (longer than one point buffer),
// jump runs, trims, colour changes (same, new, above 20, zero), sequin spans with ejects and
// jumps inside, rarely used codes, fractional and half-way coordinates, and a few points far
// outside the extents so that lines leave the field and must be clipped.
inline Design identityDesign()
{
    Design design;
    Sequence random;
    double x = 0;
    double y = 0;
    bool inSequins = false;
    for (int i = 0; i < 20000; ++i) {
        StitchType type = StitchType::Normal;
        std::int16_t color = 0;
        const bool longStretch = i >= 4000 && i < 14500;
        const int pick = longStretch ? 999 : random.between(0, 999);
        if (pick < 25) {
            type = StitchType(random.between(1, 3)); // jump codes 1 to 3
            x += random.between(-3000, 3000);
            y += random.between(-3000, 3000);
        } else if (pick < 32) {
            type = StitchType::Trim;
        } else if (pick < 40) {
            type = StitchType::ColorChange;
            color = std::int16_t(random.between(-2, 45));
        } else if (pick < 44) {
            type = inSequins ? StitchType::SequinOff : StitchType::SequinOn;
            inSequins = !inSequins;
        } else if (pick < 60 && inSequins) {
            type = sequinEjectWithSet(random.between(0, 15));
            x += random.between(-200, 200);
        } else if (pick < 63) {
            constexpr std::array<StitchType, 4> rare = {StitchType::RepeatedColorChange,
                                                        StitchType::End, StitchType::DsbFunction1,
                                                        StitchType::DsbFunction5};
            type = rare[std::size_t(random.between(0, 3))];
        } else if (pick < 65) {
            x += random.between(0, 1) != 0 ? 0.5 : -0.5; // half-way coordinates round outward
        } else {
            x += random.between(-60, 60) + random.between(0, 99) / 100.0;
            y += (i % 2 == 0 ? 1 : -1) * 350 + random.between(-50, 50);
        }
        if (x < -9000 || x > 9000)
            x = x < 0 ? -8000 : 8000;
        if (y < -6000 || y > 6000)
            y = y < 0 ? -5000 : 5000;
        const Stitch record{x, y, type, color};
        appendStitch(&design.stitches, record);
        extendExtents(&design.extents, record);
    }
    // Far points after the extents are fixed: their lines run out of the field and back.
    for (int i : {1234, 1235, 16000, 17777, 17778, 17779}) {
        Stitch& r = design.stitches.records[std::size_t(i)];
        r.x = i % 2 == 0 ? 40000.0 : -2.5e6;
        r.y = i % 3 == 0 ? -31000.0 : 7.0e5;
    }
    design.summary.stitchCount = design.stitches.count;
    return design;
}

// FNV-1a over the rows' pixels, alpha left out.
inline std::uint64_t fingerprint(const std::uint32_t* pixels, int width, int height,
                                 std::ptrdiff_t stride)
{
    std::uint64_t h = 1469598103934665603ull;
    for (int row = 0; row < height; ++row) {
        const std::uint32_t* p = pixels + row * stride;
        for (int col = 0; col < width; ++col)
            h = (h ^ (p[col] & 0xFFFFFFu)) * 1099511628211ull;
    }
    return h;
}

struct Case
{
    const char* name;
    std::int32_t width;
    std::int32_t height;
    std::int32_t progress;
    bool preview;
    std::uint64_t expected;
};

inline constexpr std::array<ColorRef, 20> kColors = {
    0x400000, 0xFF0000, 0x0000FF, 0x00FF00, 0xFFFF00, 0xFF00FF, 0x008000,
    0xFF80FF, 0x80FF80, 0x80B040, 0xB04080, 0xF080B0, 0x40B080, 0x804000,
    0x40B000, 0x400001, 0xFF0001, 0x0000FE, 0x00FF01, 0xFFFF01};

// The same fingerprints whichever surface draws the field.
inline constexpr std::array<Case, 9> kCases = {{
    {"main, no progress", 673, 451, 0, false, 0xB38C75076574E3AFull},
    {"main, progress 1", 673, 451, 1, false, 0x75158152E3F5904Bull},
    {"main, progress mid-way", 673, 451, 9001, false, 0x6363E6095203E156ull},
    {"main, progress near the end", 673, 451, 19990, false, 0x2367C694D13CC07Dull},
    {"main, all sewn", 673, 451, INT32_MAX, false, 0xB38C75076574E3AFull},
    {"preview", 673, 451, 0, true, 0xAE51790849AB24C3ull},
    {"small field, mid-way", 97, 61, 12345, false, 0x36D84D9A462327B8ull},
    {"tall field, all sewn", 120, 700, INT32_MAX, false, 0x3B896300B8607E12ull},
    {"tiny field", 6, 6, 500, false, 0x0809DBA03FDC8F9Cull},
}};

} // namespace identity
