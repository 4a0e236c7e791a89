#include "control/ReplyText.h"

std::optional<TextId> replyText(ReplyKind kind)
{
    switch (kind) {
    case ReplyKind::DesignChunkAck:
        return TextId::DesignSent;
    case ReplyKind::ParametersAck:
        return TextId::DesignParamSent;
    case ReplyKind::JogAck:
        return TextId::JogDone;
    case ReplyKind::LeverAck:
        return TextId::LeverDone;
    case ReplyKind::EmbConfirmAck:
        return TextId::EmbConfirmDone;
    case ReplyKind::EmbReleaseAck:
        return TextId::EmbReleaseDone;
    default:
        return std::nullopt;
    }
}
