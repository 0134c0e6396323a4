// Base64 (RFC 4648, standard alphabet, "=" padding, no line breaks).
#pragma once

#include <span>
#include <string>

#include "text/bytes.h"

namespace http {

// The Base64 form of `bytes`; "" for no bytes.
std::string base64_encode(std::span<const std::uint8_t> bytes);

}  // namespace http
