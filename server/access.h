// Who may reach the server: the random keys that join an event connection
// to its call connection and guard a server open beyond its machine, and
// the rule for the address it binds.
#pragma once

#include <string>
#include <string_view>

namespace qxserver {

// 128 bits from the system's secure generator as 32 lower-case hex
// digits; false when the generator fails.
bool RandomKey(std::string& key);

// Whether two keys are equal, in a time that does not tell where they
// first differ.
bool SameKey(std::string_view a, std::string_view b);

// Whether the server may bind `address`: a loopback address always; any
// other only with `allowRemote`, and then `remote` is set (the caller
// warns and requires an access token). False with the reason otherwise.
bool CheckBind(const std::string& address, bool allowRemote, bool& remote, std::string& problem);

}  // namespace qxserver
