#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "shop/ShopFeed.h"

// Today's figures for the shop-floor page, from the production history beside the settings
// file: pieces finished, stitches sewn and utilisation of the whole fleet since local midnight.
// The history is read at most every `kRefreshMs`; a history that cannot be read (none yet, a
// foreign or newer file) gives no figures, and the page then shows none.
class HistoryProduction : public ShopProduction
{
public:
    static constexpr std::int64_t kRefreshMs = 30000;

    explicit HistoryProduction(std::string historyPath) : m_path(std::move(historyPath)) {}
    std::optional<std::string> todayJson() override;

private:
    std::string m_path;
    std::mutex m_mutex;
    std::int64_t m_readAt = 0;
    std::optional<std::string> m_json;
};
