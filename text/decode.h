// Turning a JSON answer with \u escapes into program text.
//
// Both routines start and end the calling thread's COM apartment around their
// work, create their own automation objects and release them before returning,
// keep no state between calls and are safe to call from several threads at once.
// Neither reports a failure: each always returns a fresh text, possibly empty.
#pragma once

#include <string>
#include <string_view>

#include "text/bytes.h"

namespace textops {

// The text with its "\uXXXX" escapes (and "%XX", "%uXXXX" and the backslash
// escapes of a script string literal) decoded into code page 936 characters by the
// "ScriptControl" server. CR LF pairs come through unchanged; a lone CR that
// begins the text is dropped. When the script yields nothing (it does not
// compile, or its server is missing) the result is utf16_bytes_to_text of the
// prepared text's bytes instead. The text ends at its first zero byte; empty in,
// empty out.
std::string decode_unicode_escapes(std::string_view text);

// The bytes read as UTF-16LE text by the "Adodb.Stream" server, in code page 936
// (a character the code page cannot hold becomes "?"). A byte order mark FF FE at
// the start is skipped and a trailing odd byte dropped. Empty when the server is
// missing.
std::string utf16_bytes_to_text(const Bytes& bytes);

}  // namespace textops
