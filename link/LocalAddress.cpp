#include "link/LocalAddress.h"

std::string subnetPrefix(std::string_view address)
{
    const std::size_t dot = address.find_last_of('.');
    if (dot == std::string_view::npos)
        return {};
    return std::string(address.substr(0, dot + 1));
}
