#pragma once

#include <QString>

#include "app/UiTexts.h"

// A text of the two-language table as a QString.
inline QString qtText(TextId id, int language)
{
    const std::string_view text = uiText(id, language);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
