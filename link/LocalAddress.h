#pragma once

#include <string>
#include <string_view>

// The PC's IPv4 address as dotted text: the first address the host name resolves to; empty
// when the host name cannot be read or resolved.
std::string localAddress();

// The address up to and including its last "." ("192.168.7." for 192.168.7.23); empty when
// the address has no ".".
std::string subnetPrefix(std::string_view address);
