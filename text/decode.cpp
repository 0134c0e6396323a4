#include "text/decode.h"

#include "automation/object.h"
#include "platform/apartment.h"
#include "platform/codepage.h"
#include "text/text_rules.h"

namespace textops {
namespace {

// Values of the ADO stream constants.
constexpr int kTypeBinary = 1;     // adTypeBinary
constexpr int kTypeText = 2;       // adTypeText
constexpr int kModeReadWrite = 3;  // adModeReadWrite

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kCrLfStandIn = "{$}";
constexpr std::string_view kEscape = "\\u";
constexpr std::string_view kUnescapeForm = "%u";
constexpr std::string_view kApostrophe = "'";
constexpr std::string_view kScriptBefore = "function xx(){var x='";
constexpr std::string_view kScriptAfter = "';return unescape(x);}";

// The right single quotation mark stands in for the apostrophe, which would end
// the script's string literal.
const std::string& apostrophe_stand_in() {
  static const std::string text = platform::program_text("’");
  return text;
}

}  // namespace

std::string decode_unicode_escapes(std::string_view text) {
  // 1-2. CR LF pairs would break the literal: keep them aside; drop a leading CR.
  std::string w = replace_all(text, kCrLf, kCrLfStandIn);
  if (!w.empty() && w.front() == '\r') w.erase(0, 1);
  // 3-4. Escapes in the form unescape reads; no apostrophe may end the literal.
  w = replace_all(w, kEscape, kUnescapeForm);
  w = replace_all(w, kApostrophe, apostrophe_stand_in());

  std::string t;
  {
    platform::ComApartment apartment;  // 5, ended at 11

    // 6-8. Whether the object was made is not examined: calls on a handle
    // without one give empty results.
    automation::Object script;
    script.create("ScriptControl");
    script.put("Language", "JScript");
    std::string source;
    source.reserve(kScriptBefore.size() + w.size() + kScriptAfter.size());
    source.append(kScriptBefore).append(w).append(kScriptAfter);
    script.call("ExecuteStatement", source);
    const std::string r = script.call_text("Run", "xx");

    // 9-10. The fallback is made on every call, whatever the script gave.
    const std::string f = utf16_bytes_to_text(text_to_bytes(w));
    t = r.empty() ? f : r;

    script.release();  // 11
  }

  // 12-13. Put back what steps 4 and 1 set aside.
  t = replace_all(t, apostrophe_stand_in(), kApostrophe);
  return replace_all(t, kCrLfStandIn, kCrLf);
}

std::string utf16_bytes_to_text(const Bytes& bytes) {
  platform::ComApartment apartment;       // 1, ended at 6 on every path
  const automation::Variant data(bytes);  // 2

  automation::Object stream;
  if (!stream.create("Adodb.Stream")) return {};  // 3

  // 4. Write the bytes in binary mode, then read them back from the start as text.
  stream.put("Type", kTypeBinary);
  stream.put("Mode", kModeReadWrite);
  stream.call("Open");
  stream.call("Write", data);
  stream.put("Position", 0);
  stream.put("Type", kTypeText);
  stream.put("Charset", "unicode");

  // 5.
  std::string result = stream.call_text("ReadText");
  stream.call("Close");
  return result;
}

}  // namespace textops
