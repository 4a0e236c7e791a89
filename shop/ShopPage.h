#pragma once

#include <string>

// The whole fleet page, styles and script inside, in the given first language ("zh" or "en");
// the page switches languages by itself and remembers the choice in the browser.
std::string shopPage(const std::string& language);
