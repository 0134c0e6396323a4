#include "automation/script_control.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace automation {
namespace {

constexpr int kEnd = -1;  // what the lexer sees past the end of the source

bool is_line_terminator(int c) {
  return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029;
}

bool is_white_space(int c) {
  return c == u'\t' || c == 0x0B || c == 0x0C || c == u' ' || c == 0xA0 || c == 0xFEFF;
}

bool is_identifier_start(int c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u'$';
}

bool is_identifier_part(int c) {
  return is_identifier_start(c) || (c >= u'0' && c <= u'9');
}

bool is_octal_digit(int c) {
  return c >= u'0' && c <= u'7';
}

// What the escapes of one letter stand for; kEnd for any other character.
int single_escape_value(int c) {
  static constexpr std::pair<char16_t, char16_t> escapes[] = {
      {u'b', u'\b'}, {u'f', u'\f'}, {u'n', u'\n'}, {u'r', u'\r'}, {u't', u'\t'}, {u'v', u'\v'},
  };
  for (const auto& [letter, value] : escapes) {
    if (c == letter) return value;
  }
  return kEnd;
}

// The value of an ASCII hex digit, or -1.
int hex_value(int c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The value of `count` hex digits at the start of `s`, or -1 when there are not
// that many.
int hex_number(std::u16string_view s, size_t count) {
  if (s.size() < count) return -1;
  int value = 0;
  for (size_t i = 0; i < count; ++i) {
    const int digit = hex_value(s[i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

bool is_reserved_word(std::u16string_view word) {
  static constexpr std::array<std::u16string_view, 46> words = {
      u"await",    u"break",   u"case",       u"catch",     u"class",    u"const",  u"continue",
      u"debugger", u"default", u"delete",     u"do",        u"else",     u"enum",   u"export",
      u"extends",  u"false",   u"finally",    u"for",       u"function", u"if",     u"implements",
      u"import",   u"in",      u"instanceof", u"interface", u"let",      u"new",    u"null",
      u"package",  u"private", u"protected",  u"public",    u"return",   u"static", u"super",
      u"switch",   u"this",    u"throw",      u"true",      u"try",      u"typeof", u"var",
      u"void",     u"while",   u"with",       u"yield",
  };
  return std::find(words.begin(), words.end(), word) != words.end();
}

// unescape of ECMAScript: "%uXXXX" becomes that code unit, "%XX" the character
// with that code; any other "%" stays as it is.
std::u16string unescape(std::u16string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t k = 0; k < s.size(); ++k) {
    char16_t c = s[k];
    if (c == u'%') {
      const std::u16string_view rest = s.substr(k + 1);
      const int wide = rest.starts_with(u'u') ? hex_number(rest.substr(1), 4) : -1;
      const int narrow = hex_number(rest, 2);
      if (wide >= 0) {
        c = static_cast<char16_t>(wide);
        k += 5;
      } else if (narrow >= 0) {
        c = static_cast<char16_t>(narrow);
        k += 2;
      }
    }
    out.push_back(c);
  }
  return out;
}

// Reads the tokens of a statement one at a time, front to back.
class Lexer {
 public:
  explicit Lexer(std::u16string_view source) : source_(source) {}

  bool at_end() const { return pos_ >= source_.size(); }
  int peek() const { return pos_ < source_.size() ? source_[pos_] : kEnd; }

  // Consumes `c` when it comes next.
  bool consume(char16_t c) {
    if (peek() != c) return false;
    ++pos_;
    return true;
  }

  // Skips white space and line terminators; tells whether a line terminator was
  // among them.
  bool skip_white_space() {
    bool line_break = false;
    while (is_white_space(peek()) || is_line_terminator(peek())) {
      line_break = line_break || is_line_terminator(peek());
      ++pos_;
    }
    return line_break;
  }

  // The identifier (or keyword) that comes next, or nothing.
  std::optional<std::u16string_view> identifier() {
    if (!is_identifier_start(peek())) return std::nullopt;
    const size_t begin = pos_;
    while (is_identifier_part(peek())) {
      ++pos_;
    }
    return source_.substr(begin, pos_ - begin);
  }

  bool keyword(std::u16string_view word) { return identifier() == word; }

  // The value of the string literal that comes next, or nothing when none comes
  // next or it breaks the literal rules.
  std::optional<std::u16string> string_literal() {
    const int quote = peek();
    if (quote != u'\'' && quote != u'"') return std::nullopt;
    ++pos_;
    std::u16string value;
    for (;;) {
      const int c = peek();
      if (c == kEnd || is_line_terminator(c)) return std::nullopt;
      ++pos_;
      if (c == quote) return value;
      if (c != u'\\') {
        value.push_back(static_cast<char16_t>(c));
      } else if (!escape(value)) {
        return std::nullopt;
      }
    }
  }

 private:
  // Reads the escape after a backslash into `out`; false for a compile error.
  bool escape(std::u16string& out) {
    const int c = peek();
    if (c == kEnd || is_line_terminator(c)) return false;
    ++pos_;
    if (const int value = single_escape_value(c); value != kEnd) {
      out.push_back(static_cast<char16_t>(value));
      return true;
    }
    if (c == u'x') return hex_escape(2, out);
    if (c == u'u') return hex_escape(4, out);
    if (is_octal_digit(c)) {
      // Up to three digits after a 0 to 3, up to two after a 4 to 7: \0 to \377.
      int value = c - u'0';
      const int max_digits = c <= u'3' ? 3 : 2;
      for (int digits = 1; digits < max_digits && is_octal_digit(peek()); ++digits) {
        value = value * 8 + (peek() - u'0');
        ++pos_;
      }
      out.push_back(static_cast<char16_t>(value));
      return true;
    }
    out.push_back(static_cast<char16_t>(c));  // \' \" \\ and any other character
    return true;
  }

  bool hex_escape(size_t digits, std::u16string& out) {
    const int value = hex_number(source_.substr(pos_), digits);
    if (value < 0) return false;
    pos_ += digits;
    out.push_back(static_cast<char16_t>(value));
    return true;
  }

  std::u16string_view source_;
  size_t pos_ = 0;
};

struct Function {
  std::u16string name;
  std::u16string literal;  // the value of the string the function unescapes
};

bool is_usable_name(std::optional<std::u16string_view> name) {
  return name && !is_reserved_word(*name) && *name != u"unescape";
}

// One declaration, from "function" to its closing brace, or nothing.
std::optional<Function> declaration(Lexer& lex) {
  Function f;
  if (!lex.keyword(u"function")) return std::nullopt;
  lex.skip_white_space();
  const auto name = lex.identifier();
  if (!is_usable_name(name)) return std::nullopt;
  f.name = *name;

  lex.skip_white_space();
  if (!lex.consume(u'(')) return std::nullopt;
  lex.skip_white_space();
  if (!lex.consume(u')')) return std::nullopt;
  lex.skip_white_space();
  if (!lex.consume(u'{')) return std::nullopt;

  lex.skip_white_space();
  if (!lex.keyword(u"var")) return std::nullopt;
  lex.skip_white_space();
  const auto variable = lex.identifier();
  if (!is_usable_name(variable)) return std::nullopt;
  lex.skip_white_space();
  if (!lex.consume(u'=')) return std::nullopt;
  lex.skip_white_space();
  auto literal = lex.string_literal();
  if (!literal) return std::nullopt;
  f.literal = std::move(*literal);
  lex.skip_white_space();
  if (!lex.consume(u';')) return std::nullopt;

  lex.skip_white_space();
  if (!lex.keyword(u"return")) return std::nullopt;
  // A line break here would end the return statement and return nothing.
  if (lex.skip_white_space()) return std::nullopt;
  if (!lex.keyword(u"unescape")) return std::nullopt;
  lex.skip_white_space();
  if (!lex.consume(u'(')) return std::nullopt;
  lex.skip_white_space();
  if (lex.identifier() != variable) return std::nullopt;
  lex.skip_white_space();
  if (!lex.consume(u')')) return std::nullopt;
  lex.skip_white_space();
  lex.consume(u';');
  lex.skip_white_space();
  if (!lex.consume(u'}')) return std::nullopt;
  return f;
}

// Every declaration of the statement, or nothing when any part of it does not
// compile.
std::optional<std::vector<Function>> compile(std::u16string_view statement) {
  Lexer lex(statement);
  std::vector<Function> functions;
  for (;;) {
    lex.skip_white_space();
    if (lex.at_end()) return functions;
    if (lex.consume(u';')) continue;  // an empty statement
    auto f = declaration(lex);
    if (!f) return std::nullopt;
    functions.push_back(std::move(*f));
  }
}

bool equals_ignoring_ascii_case(std::u16string_view a, std::u16string_view b) {
  const auto fold = [](char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
  };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

class ScriptControl final : public Server {
 public:
  bool invoke(std::string_view member, Access access, std::span<const Variant> args,
              Variant& result) override {
    if (member == "language") return language(access, args, result);
    if (access != Access::method) return false;
    if (member == "executestatement") return execute_statement(args);
    if (member == "run") return run(args, result);
    return false;
  }

 private:
  bool language(Access access, std::span<const Variant> args, Variant& result) {
    if (access == Access::get && args.empty()) {
      result = Variant(language_);
      return true;
    }
    if (access != Access::put || args.size() != 1 || !args[0].is_text()) return false;
    language_ = args[0].wide();
    functions_.clear();
    return true;
  }

  bool runs_scripts() const { return equals_ignoring_ascii_case(language_, u"JScript"); }

  bool execute_statement(std::span<const Variant> args) {
    if (!runs_scripts() || args.size() != 1 || !args[0].is_text()) return false;
    auto functions = compile(args[0].wide());
    if (!functions) return false;
    for (Function& f : *functions) {
      functions_[std::move(f.name)] = std::move(f.literal);
    }
    return true;
  }

  bool run(std::span<const Variant> args, Variant& result) {
    if (!runs_scripts() || args.empty() || !args[0].is_text()) return false;
    const auto it = functions_.find(args[0].wide());
    if (it == functions_.end()) return false;
    result = Variant(unescape(it->second));
    return true;
  }

  std::u16string language_;
  std::map<std::u16string, std::u16string, std::less<>> functions_;
};

}  // namespace

std::shared_ptr<Server> make_script_control() {
  return std::make_shared<ScriptControl>();
}

}  // namespace automation
