#include "render/RecordingSurface.h"

RecordingSurface::Call& RecordingSurface::record(Kind kind)
{
    Call& call = m_calls.emplace_back();
    call.kind = kind;
    call.pen = m_pen;
    call.mapping = m_mapping;
    return call;
}

void RecordingSurface::setMapping(const Mapping& mapping)
{
    m_mapping = mapping;
    record(Kind::SetMapping);
}

void RecordingSurface::polyline(std::span<const SurfacePoint> points)
{
    record(Kind::Polyline).points.assign(points.begin(), points.end());
}

void RecordingSurface::moveTo(SurfacePoint to)
{
    record(Kind::MoveTo).points = {to};
}

void RecordingSurface::lineTo(SurfacePoint to)
{
    record(Kind::LineTo).points = {to};
}

void RecordingSurface::rectangle(const SurfaceRect& rect, ColorRef fill)
{
    Call& call = record(Kind::Rectangle);
    call.rect = rect;
    call.fill = fill;
}

void RecordingSurface::fillRect(const SurfaceRect& rect, ColorRef color)
{
    Call& call = record(Kind::FillRect);
    call.rect = rect;
    call.fill = color;
}

void RecordingSurface::drawText(const SurfaceRect& rect, std::string_view utf8, const TextStyle&)
{
    Call& call = record(Kind::Text);
    call.rect = rect;
    call.text = std::string(utf8);
}

std::vector<RecordingSurface::Call> RecordingSurface::callsOf(Kind kind) const
{
    std::vector<Call> out;
    for (const Call& call : m_calls)
        if (call.kind == kind)
            out.push_back(call);
    return out;
}
