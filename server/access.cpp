#include "server/access.h"

#include <cstdint>

#include <asio/ip/address.hpp>

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#else
#include <sys/random.h>
#endif

namespace qxserver {
namespace {

bool RandomBytes(unsigned char* data, size_t n) {
#ifdef _WIN32
  return BCryptGenRandom(nullptr, data, static_cast<ULONG>(n), BCRYPT_USE_SYSTEM_PREFERRED_RNG) ==
         0;
#else
  size_t got = 0;
  while (got < n) {
    const ssize_t r = getrandom(data + got, n - got, 0);
    if (r < 0) return false;  // EINTR included: a key is not worth a retry loop
    got += static_cast<size_t>(r);
  }
  return true;
#endif
}

}  // namespace

bool RandomKey(std::string& key) {
  unsigned char bytes[16];
  if (!RandomBytes(bytes, sizeof bytes)) return false;
  static const char kHex[] = "0123456789abcdef";
  key.clear();
  for (const unsigned char b : bytes) {
    key += kHex[b >> 4];
    key += kHex[b & 0x0F];
  }
  return true;
}

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char differ = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    differ |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return differ == 0;
}

bool CheckBind(const std::string& address, bool allowRemote, bool& remote, std::string& problem) {
  asio::error_code ec;
  const asio::ip::address ip = asio::ip::make_address(address, ec);
  if (ec) {
    problem = "'" + address + "' is not an IP address";
    return false;
  }
  remote = !ip.is_loopback();
  if (remote && !allowRemote) {
    problem = address +
              " reaches beyond this machine: add --allow-remote to serve "
              "the forecourt there (an access token then guards it)";
    return false;
  }
  return true;
}

}  // namespace qxserver
