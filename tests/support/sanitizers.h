// Whether this program was built with AddressSanitizer, whose shadow memory
// and quarantine of freed blocks make resident memory figures meaningless.
#pragma once

namespace test_support {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

}  // namespace test_support
