#pragma once

#include <string>
#include <string_view>

// The PC's IPv4 address as dotted text, empty when there is none. POSIX: the first address the
// host name resolves to. Windows: the first IPv4 address of an adapter that is up, an adapter
// other than loopback first.
std::string localAddress();

// The address up to and including its last "." ("192.168.7." for 192.168.7.23); empty when
// the address has no ".".
std::string subnetPrefix(std::string_view address);
