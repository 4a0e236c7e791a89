#pragma once

#include <string>
#include <vector>

#include "render/DrawingSurface.h"

// Keeps every call as a record instead of drawing, so tests can check what a drawing did.
class RecordingSurface final : public DrawingSurface
{
public:
    enum class Kind { SetMapping, Polyline, MoveTo, LineTo, Rectangle, FillRect, Text };

    struct Call
    {
        Kind kind = Kind::Polyline;
        Pen pen;                          // the pen selected at the time of the call
        Mapping mapping;                  // the mapping in force at the time of the call
        std::vector<SurfacePoint> points; // logical points (one for moves and lines)
        SurfaceRect rect;
        ColorRef fill = 0;
        std::string text;
    };

    Mapping mapping() const override { return m_mapping; }
    void setMapping(const Mapping& mapping) override;
    Pen pen() const override { return m_pen; }
    void setPen(const Pen& pen) override { m_pen = pen; }
    void polyline(std::span<const SurfacePoint> points) override;
    void moveTo(SurfacePoint to) override;
    void lineTo(SurfacePoint to) override;
    void rectangle(const SurfaceRect& rect, ColorRef fill) override;
    void fillRect(const SurfaceRect& rect, ColorRef color) override;
    void drawText(const SurfaceRect& rect, std::string_view utf8, const TextStyle& style) override;

    const std::vector<Call>& calls() const { return m_calls; }
    // The calls of one kind, in order.
    std::vector<Call> callsOf(Kind kind) const;

private:
    Call& record(Kind kind);

    Mapping m_mapping;
    Pen m_pen;
    std::vector<Call> m_calls;
};
