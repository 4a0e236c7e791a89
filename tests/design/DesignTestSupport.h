#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <span>
#include <vector>

#include <gtest/gtest.h>

#include "design/Design.h"

// A record as the tests expect it: position in 0.01 mm, type code, colour number.
struct Rec
{
    std::int64_t x;
    std::int64_t y;
    int type;
    int color;

    bool operator==(const Rec&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Rec& r)
{
    return os << "{" << r.x << ", " << r.y << ", type " << r.type << ", colour " << r.color << "}";
}

inline std::vector<Rec> recordsOf(const StitchList& list)
{
    std::vector<Rec> out;
    for (const Stitch& s : list.view())
        out.push_back(Rec{static_cast<std::int64_t>(s.x), static_cast<std::int64_t>(s.y),
                          int{code(s.type)}, int{s.color}});
    return out;
}

// A file of `header` zero bytes (or the given header bytes) followed by the record bytes.
inline std::vector<std::uint8_t> fileWith(std::size_t header,
                                          std::initializer_list<std::uint8_t> records)
{
    std::vector<std::uint8_t> bytes(header, 0);
    bytes.insert(bytes.end(), records.begin(), records.end());
    return bytes;
}

inline bool operator==(const DesignExtents& a, const DesignExtents& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline std::ostream& operator<<(std::ostream& os, const DesignExtents& e)
{
    return os << "(" << e.left << ", " << e.top << ", " << e.right << ", " << e.bottom << ")";
}

// One decoding case of a reader: the bytes it gets, and the records and extents they give.
struct ReaderCase
{
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::vector<Rec> expected;
    DesignExtents extents;
};

using ReaderFn = bool (*)(std::span<const std::uint8_t>, StitchList*, DesignExtents*);

// Runs every case through `read`; the extents start stale, so each run must write them.
inline void expectDecodes(ReaderFn read, const std::vector<ReaderCase>& cases)
{
    for (const ReaderCase& c : cases) {
        StitchList list;
        DesignExtents extents{1, 2, 3, 4};
        EXPECT_TRUE(read(c.bytes, &list, &extents)) << c.name;
        EXPECT_EQ(recordsOf(list), c.expected) << c.name;
        EXPECT_EQ(extents, c.extents) << c.name;
    }
}
