#pragma once

#include <optional>

#include "app/UiTexts.h"
#include "link/Reply.h"

// The operator's message for a reply of this kind: the acknowledgements have one, the search
// answer, palette, status and design-number report have none.
std::optional<TextId> replyText(ReplyKind kind);

// The message when the listening socket cannot be created.
inline constexpr TextId kListenFailedText = TextId::ReceiverSocketFailed;
