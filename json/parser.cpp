// The parser: a state machine fed one byte at a time, whose whole state lives in
// the document, so input may arrive in pieces and a parse resumes at any byte.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <climits>
#include <cstring>
#include <initializer_list>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "json/json_document.h"
#include "json/json_module.h"
#include "platform/codepage.h"
#include "text/text_rules.h"

namespace json {

namespace {

constexpr char kCrLf[] = "\r\n";

bool is_whitespace(std::uint8_t c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The corner quotation marks of the messages.
const std::string& open_quote() {
  static const std::string text = platform::program_text("“");
  return text;
}
const std::string& close_quote() {
  static const std::string text = platform::program_text("”");
  return text;
}

// The message format of an error code, in code page 936.
const std::string& format_of(int code) {
  struct Entry {
    int code;
    const char* utf8;
  };
  static const Entry entries[] = {
      {1,
       R"(JSON代码已经完毕，所有对象括号已匹配完毕，若要重新解析请先初始化。%s调用方法:加入json字节集())"},
      {2, R"(JSON代码起始文本应该以大括号%s{%s或者方括号%s[%s开头%s调用方法:加入json字节集())"},
      {11, R"(对象间的成员需要以逗号%s,%s隔开。%s调用方法:大括号())"},
      {12, R"(对象结束符无法匹配，不应该为：],而应该为：}%s调用方法:大括号())"},
      {13,
       R"(对象%s{ }%s内定义了成员但该成员没有给定名称,或者是多给了逗号%s,%s%s调用方法:大括号())"},
      {14, R"(对象大括号内%s{ }%s后面仅仅可以出现空字符或者引号%s%s%s%s调用方法:大括号())"},
      {21, R"(成员名中不允许出现换行、回车、制表符(请用 \r \n \t 代替)%s调用方法:对象名_获取())"},
      {31, R"(成员名后只允许出现空白字符或者冒号%s调用方法:对象值_等待冒号())"},
      {41, R"(数组结束符无法匹配，不应该为：},而应该为：]%s调用方法:方括号())"},
      {42, R"(数组成员间缺少逗号分隔%s调用方法：方括号())"},
      {51,
       R"(获取对象值时发现成员结束符%s%s%s，不允许成员值全空(空类型请赋予%snull%s)%s调用方法：对象值_准备获取())"},
      {61,
       R"(成员值类型无法确定，可能缺少引号或者大小写错误，(注意：逻辑型\空null类型只接受小写)，错误值：%s%s调用方法:对象值_获取其他())"},
      {62, R"(%s结束符无法匹配，不应该为：%s,而应该为：%s%s调用方法:对象值_获取其他())"},
      {71,
       R"(文本中不允许包含回车、换行、制表符，应分别用\r \n \t 代替%s调用方法：对象值_获取文本())"},
      {81,
       R"(JSON顶级节点命名模式下,对象匹配结束后不应该出现字符:%s}%s%s调用方法：取当前节点索引())"},
      {82,
       R"(出现严重错误,因为%s集_节点索引组[]%s数组所记录的的结束符对应的节点超出了类中节点的最大值%s可能是由于调用了%s取全部节点_交换变量()%s方法后没有再次调用还原交换的变量 %s调用方法：取当前节点索引())"},
  };
  static const auto formats = [] {
    std::array<std::string, 83> table;
    for (const Entry& e : entries)
      table[e.code] = platform::program_text(e.utf8);
    return table;
  }();
  return formats[code];
}

// printf-style: each "%s" takes the next argument in order. A "%" never occurs
// as the trail byte of a double-byte character, so the format is read by bytes.
std::string format_message(int code, std::initializer_list<std::string_view> args) {
  const std::string& format = format_of(code);
  std::string out;
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
      if (next != args.end()) out += *next++;
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

std::string_view one_byte(const std::uint8_t& c) {
  return std::string_view(reinterpret_cast<const char*>(&c), c == 0 ? 0 : 1);
}

// Counters kept per depth: element d of the array lives at index d-1.
int& counter(std::vector<int>& counters, int d) {
  if (counters.size() < static_cast<std::size_t>(d))
    counters.resize(static_cast<std::size_t>(d), 0);
  return counters[static_cast<std::size_t>(d) - 1];
}

// Byte classes for the runs the bulk scan takes at once.
enum : std::uint8_t {
  kEndsStringRun = 1,      // " \ TAB CR LF: a string value's byte with an effect of its own
  kEndsBareRun = 2,        // , ] } CR LF: ends a bare value
  kDroppedInBare = 4,      // space TAB: dropped inside a bare value
  kEndsQuotedName = 8,     // " TAB CR LF
  kEndsUnquotedName = 16,  // " TAB CR LF , } ] :
};

constexpr std::array<std::uint8_t, 256> make_classes() {
  std::array<std::uint8_t, 256> t{};
  for (char c : {'"', '\\', '\t', '\r', '\n'})
    t[static_cast<std::uint8_t>(c)] |= kEndsStringRun;
  for (char c : {',', ']', '}', '\r', '\n'})
    t[static_cast<std::uint8_t>(c)] |= kEndsBareRun;
  for (char c : {' ', '\t'})
    t[static_cast<std::uint8_t>(c)] |= kDroppedInBare;
  for (char c : {'"', '\t', '\r', '\n'}) {
    t[static_cast<std::uint8_t>(c)] |= kEndsQuotedName | kEndsUnquotedName;
  }
  for (char c : {',', '}', ']', ':'})
    t[static_cast<std::uint8_t>(c)] |= kEndsUnquotedName;
  t[0] = kEndsStringRun | kEndsBareRun | kEndsQuotedName | kEndsUnquotedName;
  return t;
}
constexpr std::array<std::uint8_t, 256> kClasses = make_classes();

std::size_t run_without(const std::uint8_t* p, std::size_t n, std::uint8_t classes) {
  std::size_t k = 0;
  while (k < n && !(kClasses[p[k]] & classes))
    ++k;
  return k;
}

// The run of a quoted string or name: up to the first quote, backslash or byte
// below 0x20. That is a superset of the bytes that end either run; a byte it
// stops at in excess goes through its handler, which appends it as the run would.
std::size_t run_of_quoted(const std::uint8_t* p, std::size_t n, std::uint8_t classes) {
  std::size_t k = 0;
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i control = _mm_set1_epi8(0x1F);
  for (; k + 16 <= n; k += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
    const __m128i stop =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)),
                     _mm_cmpeq_epi8(_mm_min_epu8(v, control), v));
    if (const int mask = _mm_movemask_epi8(stop)) {
      return k + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
  }
#endif
  return k + run_without(p + k, n - k, classes);
}

// A number read at once as a bare value begins: the sign, the digits as one
// integer (wrapping past 19 digits), how many digits and how many of them stand
// before the point (0 when there is no point).
struct NumberParts {
  bool minus = false;
  std::uint64_t digits = 0;
  int count = 0;
  int point = 0;
};

// The value of eight digit values, one per byte, the first in the lowest byte.
std::uint64_t eight_digit_value(std::uint64_t d) {
  // Pairs, then quads, then the whole, each step joining neighbours.
  d = (d * 10 + (d >> 8)) & 0x00FF00FF00FF00FFu;
  d = (d * 100 + (d >> 16)) & 0x0000FFFF0000FFFFu;
  return (d * 10000 + (d >> 32)) & 0xFFFFFFFFu;
}

constexpr std::uint64_t kPowersOfTen[] = {1u,      10u,      100u,      1000u,     10000u,
                                          100000u, 1000000u, 10000000u, 100000000u};

// Reads the digits from `p` on into `v` (v = v * 10 + digit for each; the value
// wraps past 19 digits); returns the address of the first byte that is none.
[[gnu::always_inline]] inline const std::uint8_t* read_digits(const std::uint8_t* p,
                                                              const std::uint8_t* end,
                                                              std::uint64_t& v) {
  if constexpr (std::endian::native == std::endian::little) {
    // Eight bytes at a time: the digit values, and a mark on each byte that is
    // no digit. A borrow or carry only reaches the bytes after such a byte, so
    // the first mark and the digits before it are exact.
    while (end - p >= 8) {
      std::uint64_t x;
      std::memcpy(&x, p, 8);
      const std::uint64_t d = x - 0x3030303030303030u;
      const std::uint64_t other = ((x + 0x4646464646464646u) | d) & 0x8080808080808080u;
      if (other == 0) {
        v = v * kPowersOfTen[8] + eight_digit_value(d);
        p += 8;
        continue;
      }
      const int k = std::countr_zero(other) / 8;
      // The k digits moved to the top, zero digits before them.
      if (k != 0) v = v * kPowersOfTen[k] + eight_digit_value(d << (8 * (8 - k)));
      return p + k;
    }
  }
  unsigned digit;
  while (p < end && (digit = static_cast<unsigned>(*p) - '0') <= 9) {
    v = v * 10 + digit;
    ++p;
  }
  return p;
}

// Reads from `p` an optional minus sign and digits with at most one point, up to
// the first byte that cannot continue them; returns that byte's address. The
// parts describe a plain decimal number only when the bytes read are one: some
// digit, and a digit on both sides of a point.
[[gnu::always_inline]] inline const std::uint8_t* read_number(const std::uint8_t* p,
                                                              const std::uint8_t* end,
                                                              NumberParts& n) {
  if (p < end && *p == '-') {
    n.minus = true;
    ++p;
  }
  const std::uint8_t* const first = p;
  std::uint64_t v = 0;
  // Integer parts are mostly short: their first digits are read one by one.
  unsigned digit = 0;
  for (int k = 0; k < 4 && p < end && (digit = static_cast<unsigned>(*p) - '0') <= 9; ++k, ++p)
    v = v * 10 + digit;
  if (digit <= 9 && p - first == 4) p = read_digits(p, end, v);
  int count = static_cast<int>(p - first);
  if (p < end && *p == '.' && count != 0) {
    const std::uint8_t* const after = ++p;
    p = read_digits(p, end, v);
    // A point with no digit after it: no plain number.
    n.point = p == after ? -1 : count;
    count += static_cast<int>(p - after);
  }
  n.digits = v;
  n.count = count;
  return p;
}

// The run of spaces.
inline std::size_t run_of_spaces(const std::uint8_t* p, std::size_t n) {
  std::size_t k = 0;
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(' ');
  for (; k + 16 <= n; k += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
    const unsigned mask =
        ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, space))) & 0xFFFF;
    if (mask) return k + static_cast<std::size_t>(__builtin_ctz(mask));
  }
#endif
  while (k < n && p[k] == ' ')
    ++k;
  return k;
}

}  // namespace

// ---- entry points ----

int JsonDocument::parse_text(std::string_view text, bool strict_checking, bool top_level) {
  const std::string_view t = textops::until_zero(text);
  reset();
  strict = strict_checking;
  return feed(std::span(reinterpret_cast<const std::uint8_t*>(t.data()), t.size()), std::nullopt,
              top_level);
}

int JsonDocument::parse_bytes(const Bytes& bytes, bool strict_checking, bool top_level) {
  reset();
  strict = strict_checking;
  return feed(bytes, std::nullopt, top_level);
}

int JsonDocument::加入json字节集(const Bytes& bytes, std::optional<bool> strict_checking,
                                 std::optional<bool> top_level) {
  return feed(bytes, strict_checking, top_level);
}

int JsonDocument::add_json_text(std::string_view text, std::optional<bool> strict_checking,
                                std::optional<bool> top_level) {
  if (strict_checking) strict = *strict_checking;
  const std::string_view t = textops::until_zero(text);
  return feed(std::span(reinterpret_cast<const std::uint8_t*>(t.data()), t.size()), std::nullopt,
              top_level.value_or(false));
}

// ---- the byte loop ----

int JsonDocument::feed(std::span<const std::uint8_t> bytes, std::optional<bool> strict_checking,
                       std::optional<bool> top_level, Scan scan) {
  if (nodes.empty()) top_level_naming = top_level.value_or(false);
  if (strict_checking) strict = *strict_checking;

  const std::uint8_t* p = bytes.data();
  // Positions are ints: bytes beyond the INT_MAX-th since the reset are not read.
  const std::size_t n = std::min(
      bytes.size(), static_cast<std::size_t>(INT_MAX) - static_cast<std::size_t>(position));
  const bool runs = scan == Scan::in_runs;
  std::size_t i = 0;
  while (i < n) {
    // 1. After an error every call completes what is open and stops.
    if (error_position != 0) {
      close_open_containers();
      return error_code;
    }
    if (runs) {
      i += consume_tokens(p + i, n - i);
      // The byte it stopped at, if any, takes the step below; an error it
      // recorded is handled at the top of the loop.
      if (i == n || error_position != 0) continue;
    }
    const std::uint8_t c = p[i++];
    // 2. Position, line and column of this byte.
    if (c == '\n') {
      ++line;
      column = 0;
    } else if (c != '\r') {
      ++column;
    }
    ++position;
    // 3. Inside the document: the handler of the top state.
    if (!state_stack.empty()) {
      dispatch(state_stack.back(), c);
      continue;
    }
    // 4. The document is complete: only whitespace may follow.
    if (!nodes.empty()) {
      if (is_whitespace(c)) continue;
      record_error(1, format_message(1, {kCrLf}));
      return 1;
    }
    // 5. Nothing has begun yet.
    if (c == '{' || c == '[') {
      separator_seen = true;
      nodes.add(1, c == '{' ? kObject : kArray, kRoot);
      集_节点索引组.assign(1, 1);
      current_depth = 2;
      state_stack.push_back(c == '{' ? kInObject : kInArray);
    } else if (top_level_naming && c == '"') {
      // The first top-level member; state 1 stands for an invisible top object.
      state_stack.push_back(kInObject);
      current_depth = 1;
      unquoted_name = false;
      new_node(kMemberName);
    } else if (strict && !is_whitespace(c)) {
      record_error(
          2, format_message(2, {open_quote(), close_quote(), open_quote(), close_quote(), kCrLf}));
      return 2;
    }
  }
  if (error_code != 0) close_open_containers();
  return error_code;
}

void JsonDocument::dispatch(std::uint8_t state, std::uint8_t c) {
  switch (state) {
    case kInObject:
      大括号(c);
      break;
    case kInArray:
      方括号(c);
      break;
    case kMemberName:
      对象名_获取(c);
      break;
    case kAwaitColon:
      对象值_等待冒号(c);
      break;
    case kAwaitValue:
      对象值_准备获取(c);
      break;
    case kStringValue:
      对象值_获取文本(c);
      break;
    case kBareValue:
      对象值_获取其他(c);
      break;
    default:
      break;
  }
}

// The bulk scan: takes at once the run of bytes at `p` whose only effects are
// to be collected into the text buffer or skipped, applies exactly the effects
// the handlers would (buffer, escape_pending, position, line, column), and
// returns the run's length; 0 when the next byte needs its handler. It is only
// called while no error is recorded, and no byte of a run can record one.
std::size_t JsonDocument::consume_run(const std::uint8_t* p, std::size_t n) {
  std::size_t k = 0;
  const std::uint8_t state = state_stack.empty() ? 0 : state_stack.back();
  switch (state) {
    case kStringValue:
      k = run_of_quoted(p, n, kEndsStringRun);
      if (k == 0) return 0;
      text_buffer.append_without_zero(reinterpret_cast<const char*>(p), k);
      escape_pending = false;
      break;
    case kMemberName:
      k = unquoted_name ? run_without(p, n, kEndsUnquotedName)
                        : run_of_quoted(p, n, kEndsQuotedName);
      if (k == 0) return 0;
      text_buffer.append_without_zero(reinterpret_cast<const char*>(p), k);
      break;
    case kBareValue:
      while (k < n) {
        const std::size_t start = k;
        k += run_without(p + k, n - k, kEndsBareRun | kDroppedInBare);
        text_buffer.append_without_zero(reinterpret_cast<const char*>(p + start), k - start);
        if (k < n && (kClasses[p[k]] & kDroppedInBare)) {
          ++k;
        } else {
          break;
        }
      }
      break;
    case 0:
      if (nodes.empty() && !strict) {
        // Before the document, without strict checking, every byte but an
        // opening one is skipped.
        for (; k < n; ++k) {
          const std::uint8_t c = p[k];
          if (c == '{' || c == '[' || (c == '"' && top_level_naming)) break;
          if (c == '\n') {
            ++line;
            column = 0;
          } else if (c != '\r') {
            ++column;
          }
        }
        position += static_cast<int>(k);
        return k;
      }
      [[fallthrough]];
    default:
      // Between tokens whitespace is skipped in every state.
      while (k < n) {
        const std::size_t spaces = run_of_spaces(p + k, n - k);
        column += static_cast<int>(spaces);
        k += spaces;
        if (k == n) break;
        const std::uint8_t c = p[k];
        if (c == '\t') {
          ++column;
        } else if (c == '\n') {
          ++line;
          column = 0;
        } else if (c != '\r') {
          break;
        }
        ++k;
      }
      position += static_cast<int>(k);
      return k;
  }
  position += static_cast<int>(k);
  column += static_cast<int>(k);
  return k;
}

// The fused scan: reads whole tokens at once while they take their usual form
// (a quoted name up to its colon, a quoted string value, a bare value up to the
// byte that ends it, the brackets and commas between them), making exactly the
// changes the handlers would make byte by byte. It stops at the first byte it
// does not read in this way (anything that may record an error, an unquoted
// name, TAB, CR, LF or a zero byte inside a token, the end of the piece), and
// the byte loop takes over there. A name or value that began in an earlier
// piece is left to consume_run and the handlers.
//
// The text buffer is only written when the scan stops: while it runs, the
// buffer's content is the last token's bytes, which are still in the input.
std::size_t JsonDocument::consume_tokens(const std::uint8_t* const begin, const std::size_t n) {
  if (state_stack.empty()) return consume_run(begin, n);
  switch (state_stack.back()) {
    case kMemberName:
    case kStringValue:
    case kBareValue:
      return consume_run(begin, n);
    default:
      break;
  }
  const std::uint8_t* p = begin;
  const std::uint8_t* const end = begin + n;
  // What the text buffer holds, when `text_pending`: the bytes text..text+text_size.
  const std::uint8_t* text = p;
  std::size_t text_size = 0;
  bool text_pending = false;
  const auto flush_text = [&] {
    if (!text_pending) return;
    text_buffer.clear();
    text_buffer.append_without_zero(reinterpret_cast<const char*>(text), text_size);
    text_pending = false;
  };
  const auto clear_text = [&] {
    text_pending = true;
    text_size = 0;
  };
  // `k` bytes that are neither CR nor LF.
  const auto advance = [&](std::size_t k) {
    position += static_cast<int>(k);
    column += static_cast<int>(k);
    p += k;
  };
  const auto last = [&] { return nodes.size() - 1; };
  const auto end_of_value = [&] {
    state_stack.pop_back();
    if (!集_节点索引组.empty()) 集_节点索引组.pop_back();
  };
  // close_array adds an empty last element after a final comma, clearing the buffer.
  const auto close_array_here = [&] {
    if (static_cast<int>(nodes.size()) == comma_node_count) flush_text();
    close_array();
  };

  while (!state_stack.empty()) {
    // Whitespace between tokens is skipped in every state this loop is in.
    while (p < end) {
      const std::uint8_t c = *p;
      if (c == ' ') {
        advance(1 + run_of_spaces(p + 1, static_cast<std::size_t>(end - p - 1)));
        continue;
      }
      if (c == '\n') {
        ++line;
        column = 0;
      } else if (c == '\t') {
        ++column;
      } else if (c != '\r') {
        break;
      }
      ++position;
      ++p;
    }
    if (p == end) break;
    const std::uint8_t c = *p;
    switch (state_stack.back()) {
      case kInObject:
        if (c == '"') {
          if (strict && !separator_seen) goto stop;
          advance(1);
          unquoted_name = false;
          // new_node(kMemberName) in an object, made here for speed.
          state_stack.push_back(kMemberName);
          if (current_depth >= 1) {
            const std::size_t d = static_cast<std::size_t>(current_depth);
            if (member_counters.size() < d) member_counters.resize(d, 0);
            ++member_counters[d - 1];
          }
          集_节点索引组.push_back(
              static_cast<int>(nodes.add(current_depth, kUnclassified, kMember)));
          // The name, up to its closing quote; a backslash means nothing here.
          const std::uint8_t* const start = p;
          const std::uint8_t* q = p;
          while (q < end) {
            q += run_of_quoted(q, static_cast<std::size_t>(end - q), kEndsQuotedName);
            if (q == end) break;
            const std::uint8_t b = *q;
            if (b == '"' || b == 0 || b == '\t' || b == '\r' || b == '\n') break;
            ++q;
          }
          text = start;
          text_size = static_cast<std::size_t>(q - start);
          text_pending = true;
          advance(text_size);
          if (p == end || *p != '"') goto stop;
          if (!nodes.empty())
            nodes.set_name(last(),
                           std::string_view(reinterpret_cast<const char*>(start), text_size));
          state_stack.back() = kAwaitColon;
          advance(1);
          continue;
        }
        if (c == '}' || (c == ']' && !strict)) {
          advance(1);
          close_object();
          if (error_position != 0) goto stop;
          continue;
        }
        if (c == ',' && !separator_seen) {
          separator_seen = true;
          advance(1);
          continue;
        }
        goto stop;

      case kAwaitColon:
        if (c == ':') {
          advance(1);
        } else if (strict) {
          goto stop;
        }
        // Without strict checking any other byte is the value's first.
        state_stack.back() = kAwaitValue;
        continue;

      case kInArray:
        if (c == '{') {
          separator_seen = true;
          advance(1);
          new_node(kInObject);
          clear_text();
          continue;
        }
        if (c == ']' || (c == '}' && !strict)) {
          advance(1);
          close_array_here();
          if (error_position != 0) goto stop;
          continue;
        }
        if (c == ',') {
          separator_seen = true;
          const int count = static_cast<int>(nodes.size());
          if (count == comma_node_count) goto stop;  // an empty element
          comma_node_count = count;
          advance(1);
          continue;
        }
        if (c == '}' || (strict && !separator_seen)) goto stop;
        // An element begins; its first byte is read in the value state. This
        // is new_node(kAwaitValue) in an array, made here for speed.
        {
          state_stack.push_back(kAwaitValue);
          int element = -1;
          if (current_depth >= 0) {
            const std::size_t d = static_cast<std::size_t>(current_depth) + 1;
            if (element_counters.size() < d) element_counters.resize(d, 0);
            element = element_counters[d - 1]++;
          }
          const std::size_t number = nodes.add(current_depth, kUnclassified, kElement);
          if (element >= 0) nodes.set_element_name(number - 1, element);
          集_节点索引组.push_back(static_cast<int>(number));
        }
        clear_text();
        continue;

      case kAwaitValue:
        switch (c) {
          case '{':
          case '[':
            separator_seen = true;
            clear_text();
            state_stack.back() = c == '{' ? kInObject : kInArray;
            if (!nodes.empty()) nodes.set_type(last(), c == '{' ? kObject : kArray);
            current_depth += 1;
            advance(1);
            continue;
          case ',':
          case ']':
          case '}':
          case 0:
            goto stop;
          case '"': {
            advance(1);
            clear_text();
            if (!nodes.empty()) nodes.set_type(last(), kString);
            state_stack.back() = kStringValue;
            // The string, up to a quote that no backslash escapes.
            const std::uint8_t* const start = p;
            const std::uint8_t* q = p;
            bool escaped = escape_pending;
            while (q < end) {
              const std::size_t k =
                  run_of_quoted(q, static_cast<std::size_t>(end - q), kEndsStringRun);
              if (k != 0) escaped = false;
              q += k;
              if (q == end) break;
              const std::uint8_t b = *q;
              if (b == '\\') {
                escaped = !escaped;
              } else if (b == '"') {
                if (!escaped) break;
                escaped = false;
              } else if (b == 0 || b == '\t' || b == '\r' || b == '\n') {
                break;
              } else {
                escaped = false;
              }
              ++q;
            }
            escape_pending = escaped;
            text = start;
            text_size = static_cast<std::size_t>(q - start);
            advance(text_size);
            if (p == end || *p != '"') goto stop;
            if (!nodes.empty())
              nodes.set_value(last(),
                              std::string_view(reinterpret_cast<const char*>(start), text_size));
            end_of_value();
            separator_seen = false;
            advance(1);
            continue;
          }
          default: {
            // A bare value, up to the byte that ends it. A plain decimal number
            // is read into its parts on the way.
            const std::uint8_t* const start = p;
            NumberParts number;
            const std::uint8_t* const number_end = read_number(p, end, number);
            const std::uint8_t* q = number_end == p ? p + 1 : number_end;
            while (q < end && !(kClasses[*q] & (kEndsBareRun | kDroppedInBare)))
              ++q;
            // The parts stand for the whole value only when nothing follows them.
            const bool read_whole = q == number_end;
            clear_text();
            state_stack.back() = kBareValue;
            text = start;
            text_size = static_cast<std::size_t>(q - start);
            advance(text_size);
            if (p == end) goto stop;
            const std::uint8_t e = *p;
            if (e != ',' && e != ']' && e != '}' && e != '\r' && e != '\n') goto stop;
            // A closing bracket of the other kind goes through the handler.
            const std::size_t states = state_stack.size();
            if ((e == ']' || e == '}') && states >= 2) {
              const std::uint8_t below = state_stack[states - 2];
              if ((below == kInObject && e != '}') || (below == kInArray && e != ']')) goto stop;
            }
            // Only the plain kinds are taken here; others go through the handler.
            const std::string_view t(reinterpret_cast<const char*>(start), text_size);
            int type;
            // A plain decimal number is stored as it is checked.
            bool stored = false;
            if (read_whole && !nodes.empty() &&
                nodes.set_plain_number(last(), number.minus, number.digits, number.count,
                                       number.point)) {
              stored = true;
              type = kNumber;
            } else if (!nodes.empty() && nodes.set_plain_number(last(), t)) {
              stored = true;
              type = kNumber;
            } else if (is_json_number(t)) {
              type = kNumber;
            } else if (t == "true" || t == "false") {
              type = kBoolean;
            } else if (t == "null") {
              type = kNull;
            } else {
              goto stop;
            }
            separator_seen = e == ',';
            if (!nodes.empty()) {
              nodes.set_type(last(), type);
              if (!stored) nodes.set_value(last(), t);
            }
            end_of_value();
            if (e == '\n') {
              ++line;
              column = 0;
              ++position;
              ++p;
              continue;
            }
            if (e == '\r') {
              ++position;
              ++p;
              continue;
            }
            advance(1);
            if (state_stack.empty()) continue;
            if (e == '}') {
              close_object();
              if (error_position != 0) goto stop;
            } else if (e == ']') {
              close_array_here();
              if (error_position != 0) goto stop;
            } else if (state_stack.back() == kInArray) {
              separator_seen = true;
              const int count = static_cast<int>(nodes.size());
              if (count == comma_node_count) {
                flush_text();
                new_node(kAwaitValue);
                对象值_准备获取(',');
                comma_node_count = count + 1;
                if (error_position != 0) goto stop;
              } else {
                comma_node_count = count;
              }
            }
            continue;
          }
        }

      default:
        goto stop;
    }
  }
stop:
  flush_text();
  return static_cast<std::size_t>(p - begin);
}

void JsonDocument::record_error(int code, std::string message) {
  error_code = code;
  error_position = position;
  error_message = std::move(message);
}

// ---- completing and inspecting the parse ----

bool JsonDocument::close_open_containers() {
  if (nodes.empty()) return false;
  const bool saved_strict = strict;
  strict = false;
  // The invisible top object of top-level naming mode is never closed.
  const bool invisible_top = top_level_naming && nodes.container(0) == kMember;
  std::size_t s = state_stack.size();
  if (invisible_top && s > 0) --s;
  const std::size_t floor = invisible_top ? 1 : 0;
  for (std::size_t i = 0; i < s && state_stack.size() > floor; ++i) {
    switch (state_stack.back()) {
      case kInObject:
        大括号('}');
        break;
      case kInArray:
        方括号(']');
        break;
      case kBareValue:
        对象值_获取其他('\r');
        break;
      case kAwaitColon:
        对象值_等待冒号(':');
        break;
      case kAwaitValue:
        对象值_准备获取('\r');  // ignored: a member waiting for its value stays open
        break;
      case kMemberName:
        if (escape_pending) 对象名_获取('\\');
        对象名_获取('"');
        break;
      case kStringValue:
        if (escape_pending) 对象值_获取文本('\\');
        对象值_获取文本('"');
        break;
      default:
        break;
    }
  }
  strict = saved_strict;
  return s > 0;
}

bool JsonDocument::is_complete() const {
  if (nodes.empty()) return false;
  if (state_stack.empty()) return true;
  return top_level_naming && state_stack.size() == 1 && state_stack[0] == kInObject &&
         nodes.container(0) == kMember;
}

int JsonDocument::取当前节点索引() {
  if (集_节点索引组.empty()) {
    if (strict) {
      record_error(81, format_message(81, {open_quote(), close_quote(), kCrLf}));
    }
    return 0;
  }
  const int n = 集_节点索引组.back();
  if (n <= node_count()) return n;
  if (strict) {
    record_error(82, format_message(82, {open_quote(), close_quote(), kCrLf, open_quote(),
                                         close_quote(), kCrLf}));
  }
  return 0;
}

// ---- nodes ----

void JsonDocument::new_node(int code) {
  const int prev = state_stack.empty() ? 0 : state_stack.back();
  state_stack.push_back(static_cast<std::uint8_t>(code));
  int depth = 0;
  int type = kUnclassified;
  std::uint8_t container = kRoot;
  int element = -1;  // the element's position, when it is one
  bool object_summary = false;
  if (code == kAwaitValue && prev == kInArray) {
    // An element beginning in an array.
    if (current_depth + 1 >= 1) element = ++counter(element_counters, current_depth + 1) - 1;
    container = kElement;
  } else if (code == kInObject) {
    // An object beginning as an array element.
    type = kObject;
    depth = current_depth;
    current_depth += 1;
    object_summary = true;
    container = kElement;
    if (current_depth >= 1) element = ++counter(element_counters, current_depth) - 1;
  } else if (code == kMemberName && prev == kInObject) {
    if (current_depth >= 1) ++counter(member_counters, current_depth);
    container = kMember;
  }
  if (depth == 0) depth = current_depth;
  text_buffer.clear();
  const std::size_t number = nodes.add(depth, type, container);
  if (element >= 0) nodes.set_element_name(number - 1, element);
  if (object_summary) nodes.set_summary(number - 1, Summary::object, 0);
  集_节点索引组.push_back(static_cast<int>(number));
}

void JsonDocument::close_object() {
  const int n = 取当前节点索引();
  if (n == 0) return;
  if (current_depth >= 1 && member_counters.size() >= static_cast<std::size_t>(current_depth)) {
    int& count = member_counters[current_depth - 1];
    nodes.set_summary(n - 1, Summary::object, count);
    count = 0;
  } else {
    nodes.set_summary(n - 1, Summary::object, 0);
  }
  current_depth -= 1;
  state_stack.pop_back();
  集_节点索引组.pop_back();
  separator_seen = false;
}

void JsonDocument::close_array() {
  const int n = 取当前节点索引();
  if (n == 0) return;
  if (static_cast<int>(nodes.size()) == comma_node_count) {
    // The array ends in a comma: an empty last element first.
    new_node(kAwaitValue);
    对象值_准备获取(',');
  }
  if (current_depth + 1 >= 1 &&
      element_counters.size() >= static_cast<std::size_t>(current_depth + 1)) {
    int& count = element_counters[current_depth];
    nodes.set_summary(n - 1, Summary::array, count);
    count = 0;
  } else {
    nodes.set_summary(n - 1, Summary::array, 0);
  }
  current_depth -= 1;
  if (!state_stack.empty()) state_stack.pop_back();
  if (!集_节点索引组.empty()) 集_节点索引组.pop_back();
  separator_seen = false;
}

// ---- the state handlers ----

void JsonDocument::大括号(std::uint8_t c) {
  if (c == '"') {
    if (strict && !separator_seen) {
      record_error(11, format_message(11, {open_quote(), close_quote(), kCrLf}));
      return;
    }
    unquoted_name = false;
    new_node(kMemberName);
    return;
  }
  if (c == '}' || c == ']') {
    if (strict && c == ']') {
      record_error(12, format_message(12, {kCrLf}));
      return;
    }
    close_object();
    return;
  }
  if (strict) {
    if (c == ',') {
      if (separator_seen) {
        record_error(13, format_message(13, {open_quote(), close_quote(), open_quote(),
                                             close_quote(), kCrLf}));
        return;
      }
      separator_seen = true;
      return;
    }
    if (is_whitespace(c)) return;
    record_error(14, format_message(14, {open_quote(), close_quote(), open_quote(), "\"",
                                         close_quote(), kCrLf}));
    return;
  }
  if (is_whitespace(c)) return;
  if (c == ',' && !separator_seen) {
    separator_seen = true;
    return;
  }
  // Any other byte begins a member whose name is not quoted.
  new_node(kMemberName);
  unquoted_name = true;
  对象名_获取(c);
}

void JsonDocument::对象名_获取(std::uint8_t c) {
  if (unquoted_name && (c == ',' || c == '}' || c == ']')) {
    // A member without a value.
    if (!nodes.empty()) nodes.set_name(nodes.size() - 1, text_buffer.text());
    state_stack.back() = kAwaitValue;
    对象值_准备获取(c == ']' ? '}' : c);
    return;
  }
  if (c == '"' || (c == ':' && unquoted_name)) {
    if (!nodes.empty()) nodes.set_name(nodes.size() - 1, text_buffer.text());
    state_stack.back() = kAwaitColon;
    return;
  }
  if (c == '\t' || c == '\r' || c == '\n') {
    if (strict) {
      record_error(21, format_message(21, {kCrLf}));
      return;
    }
    if (c == '\t') text_buffer.append("\\t", 2);
    return;
  }
  text_buffer.append(static_cast<char>(c));
}

void JsonDocument::对象值_等待冒号(std::uint8_t c) {
  if (c == ':') {
    state_stack.back() = kAwaitValue;
    return;
  }
  if (is_whitespace(c)) return;
  if (strict) {
    record_error(31, format_message(31, {kCrLf}));
    return;
  }
  state_stack.back() = kAwaitValue;
  对象值_准备获取(c);
}

void JsonDocument::方括号(std::uint8_t c) {
  if (c == '{') {
    separator_seen = true;
    new_node(kInObject);
    return;
  }
  if (c == ']' || c == '}') {
    if (strict && c == '}') {
      record_error(41, format_message(41, {kCrLf}));
      return;
    }
    close_array();
    return;
  }
  if (c == ',') {
    separator_seen = true;
    const int n = static_cast<int>(nodes.size());
    if (n == comma_node_count) {
      // No element since the previous comma: an empty one.
      new_node(kAwaitValue);
      对象值_准备获取(',');
      comma_node_count = n + 1;
    } else {
      comma_node_count = n;
    }
    return;
  }
  if (is_whitespace(c)) return;
  if (strict && !separator_seen) {
    record_error(42, format_message(42, {kCrLf}));
    return;
  }
  new_node(kAwaitValue);
  对象值_准备获取(c);
}

void JsonDocument::对象值_准备获取(std::uint8_t c) {
  const bool has_node = !nodes.empty();
  const std::size_t current = nodes.size() - 1;
  switch (c) {
    case '{':
      separator_seen = true;
      text_buffer.clear();
      state_stack.back() = kInObject;
      if (has_node) nodes.set_type(current, kObject);
      current_depth += 1;
      return;
    case '[':
      separator_seen = true;
      text_buffer.clear();
      if (has_node) nodes.set_type(current, kArray);
      state_stack.back() = kInArray;
      current_depth += 1;
      return;
    case ',':
    case ']':
    case '}':
      if (strict) {
        record_error(51, format_message(51, {open_quote(), one_byte(c), close_quote(), open_quote(),
                                             close_quote(), kCrLf}));
        return;
      }
      // A value that is missing: null with an empty text.
      if (has_node) {
        nodes.set_type(current, kNull);
        nodes.set_value(current, "");
      }
      state_stack.pop_back();
      if (!集_节点索引组.empty()) 集_节点索引组.pop_back();
      if (c == '}' && !state_stack.empty()) 大括号('}');
      return;
    case ' ':
    case '\t':
    case '\r':
    case '\n':
      return;
    case '"':
      text_buffer.clear();
      if (has_node) nodes.set_type(current, kString);
      state_stack.back() = kStringValue;
      return;
    default:
      text_buffer.clear();
      text_buffer.append(static_cast<char>(c));
      state_stack.back() = kBareValue;
      return;
  }
}

void JsonDocument::prepare_value_variant(std::uint8_t c) {
  if (state_stack.empty()) return;
  const bool has_node = !nodes.empty();
  const std::size_t current = nodes.size() - 1;
  switch (c) {
    case '{':
      separator_seen = true;
      text_buffer.clear();
      state_stack.back() = kInObject;
      current_depth += 1;
      return;
    case ',':
    case ']':
    case '}':
      separator_seen = c == ',';
      if (has_node) {
        nodes.set_type(current, kNull);
        nodes.set_value(current, "");
      }
      state_stack.pop_back();
      if (!集_节点索引组.empty()) 集_节点索引组.pop_back();
      if (c == '}' && !state_stack.empty()) 大括号('}');
      return;
    case ' ':
    case '\t':
    case '\r':
    case '\n':
      return;
    case '"':
      text_buffer.clear();
      state_stack.back() = kStringValue;
      return;
    default:
      text_buffer.clear();
      text_buffer.append(static_cast<char>(c));
      state_stack.back() = kBareValue;
      return;
  }
}

void JsonDocument::对象值_获取文本(std::uint8_t c) {
  if (c == '"' && !escape_pending) {
    if (!nodes.empty()) nodes.set_value(nodes.size() - 1, text_buffer.text());
    state_stack.pop_back();
    if (!集_节点索引组.empty()) 集_节点索引组.pop_back();
    separator_seen = false;
    return;
  }
  if (c == '\t' || c == '\r' || c == '\n') {
    if (strict) {
      record_error(71, format_message(71, {kCrLf}));
      return;
    }
    if (c == '\t') text_buffer.append("\\t", 2);  // escape_pending unchanged
    return;
  }
  text_buffer.append(static_cast<char>(c));
  escape_pending = c == '\\' ? !escape_pending : false;
}

void JsonDocument::对象值_获取其他(std::uint8_t c) {
  if (c == ' ' || c == '\t') return;
  if (c != ',' && c != ']' && c != '}' && c != '\r' && c != '\n') {
    text_buffer.append(static_cast<char>(c));
    return;
  }
  // The value ends.
  separator_seen = c == ',';
  std::string_view t = text_buffer.text();
  std::string lowered;
  int type = -1;  // -1: left as it is
  if (is_json_number(t)) {
    type = kNumber;
  } else {
    if (!strict && std::any_of(t.begin(), t.end(), [](char b) { return b >= 'A' && b <= 'Z'; })) {
      lowered = textops::lower_ascii(t);
      t = lowered;
    }
    if (t == "true" || t == "false") {
      type = kBoolean;
    } else if (t == "null" || (!strict && t.empty())) {
      type = kNull;
    } else if (strict) {
      if (!nodes.empty()) nodes.set_type(nodes.size() - 1, kUnclassified);
      record_error(61, format_message(61, {t, kCrLf}));
      return;
    }
  }
  if (!nodes.empty()) {
    if (type >= 0) nodes.set_type(nodes.size() - 1, type);
    nodes.set_value(nodes.size() - 1, t);
  }
  // A closing bracket must match the container the value stands in.
  const std::size_t s = state_stack.size();
  if ((c == ']' || c == '}') && s >= 2) {
    const std::uint8_t below = state_stack[s - 2];
    const std::uint8_t expected = below == kInObject ? '}' : below == kInArray ? ']' : c;
    if (c != expected) {
      if (strict) {
        const std::uint8_t want = c == '}' ? ']' : '}';
        record_error(62, format_message(62, {platform::program_text(c == '}' ? "数组" : "对象"),
                                             one_byte(c), one_byte(want), kCrLf}));
        return;
      }
      c = expected;
    }
  }
  state_stack.pop_back();
  if (!集_节点索引组.empty()) 集_节点索引组.pop_back();
  if (c == '}') {
    if (!state_stack.empty()) 大括号('}');
  } else if (c == ']') {
    if (!state_stack.empty()) 方括号(']');
  } else if (c == ',' && !state_stack.empty() && state_stack.back() == kInArray) {
    方括号(',');
  }
}

}  // namespace json
