#include "automation/script_control.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "automation/object.h"
#include "script_run.h"

namespace {

using decode_test::decoder_statement;
using decode_test::describe;
using decode_test::run_script;
using std::nullopt;

struct LiteralCase {
  std::u16string literal;  // what stands between the quotes
  std::u16string value;    // what the function returns
};

TEST(ScriptControl, LiteralEscapes) {
  const LiteralCase cases[] = {
      {u"", u""},
      {u"abc \u4e2d\u6587", u"abc \u4e2d\u6587"},
      {u"say \"hi\"", u"say \"hi\""},  // the other quote needs no escape
      {u"\\'", u"'"},
      {u"\\\"", u"\""},
      {u"\\\\", u"\\"},
      {u"\\\\\\\\", u"\\\\"},
      {u"\\b\\f\\n\\r\\t\\v", u"\b\f\n\r\t\v"},
      {u"\\x41\\x4a\\x4A\\xfF", u"AJJ\u00ff"},
      {u"\\x414", u"A4"},
      {u"\\u4e2d\\u4E2D", u"\u4e2d\u4e2d"},
      {u"\\u00411", u"A1"},
      {std::u16string(u"\\u0000", 6), std::u16string(1, u'\0')},
      {u"\\ud800", std::u16string(1, char16_t(0xd800))},  // a lone surrogate is kept
      // Octal: up to three digits after 0 to 3, up to two after 4 to 7.
      {u"\\0", std::u16string(1, u'\0')},
      {u"\\08", std::u16string(u"\0"
                               u"8",
                               2)},
      {u"\\7", u"\u0007"},
      {u"\\101", u"A"},
      {u"\\1011", u"A1"},
      {u"\\377", u"\u00ff"},
      {u"\\400", u" 0"},
      {u"\\47", u"'"},
      {u"\\477", u"'7"},
      {u"\\18", u"\u00018"},
      // A backslash before any other character stands for that character.
      {u"\\8\\9", u"89"},
      {u"\\a\\/\\z\\ \\%", u"a/z %"},
      {u"\\\u4e2d", u"\u4e2d"},
      {u"\\\u00a0", u"\u00a0"},
      {std::u16string(u"a\0b", 3), std::u16string(u"a\0b", 3)},  // a raw NUL is a character
      {u"\t\u000b\u000c", u"\t\u000b\u000c"},
      {u"\xdc00\xd800", u"\xdc00\xd800"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(describe(run_script(decoder_statement(c.literal))), describe(c.value))
        << decode_test::hex_units(c.literal);
  }
}

TEST(ScriptControl, LiteralCompileErrors) {
  const std::u16string cases[] = {
      // Line terminators, also right after a backslash.
      u"a\nb",
      u"a\rb",
      u"a\u2028b",
      u"a\u2029b",
      u"a\\\nb",
      u"a\\\rb",
      u"a\\\r\nb",
      u"a\\\u2028b",
      u"a\\\u2029b",
      // Hex escapes without their digits.
      u"\\x",
      u"\\x4",
      u"\\x4G",
      u"\\xG4",
      u"\\x 41",
      u"\\u",
      u"\\u4e2",
      u"\\u4e2G",
      u"\\u{4e2d}",
      u"\\U4e2d\\u",
      // Literals that do not end: an odd run of backslashes escapes the quote.
      u"\\",
      u"a\\\\\\",
      u"\\'\\",
      u"'",
  };

  for (const auto& literal : cases) {
    EXPECT_EQ(describe(run_script(decoder_statement(literal))), describe(nullopt))
        << decode_test::hex_units(literal);
    // A failed statement defines nothing, not even the declarations before the
    // faulty one.
    const std::u16string statement =
        u"function ok(){var x='fine';return unescape(x);}" + decoder_statement(literal);
    EXPECT_EQ(describe(run_script(statement, u"ok")), describe(nullopt))
        << decode_test::hex_units(literal);
  }
}

TEST(ScriptControl, Unescape) {
  const LiteralCase cases[] = {
      {u"%41", u"A"},
      {u"%4a%4A", u"JJ"},
      {u"%u4e2d%u4E2D", u"\u4e2d\u4e2d"},
      {u"%uD800", std::u16string(1, char16_t(0xd800))},
      {u"%uDC00%uD800", u"\xdc00\xd800"},
      {u"%00", std::u16string(1, u'\0')},
      {u"%u0000", std::u16string(1, u'\0')},
      {u"%FF", u"\u00ff"},
      {u"%u0041B", u"AB"},
      {u"%2541", u"%41"},  // a result is not decoded again
      {u"%u0025u4e2d", u"%u4e2d"},
      {u"%%41", u"%A"},
      // Anything else keeps its "%".
      {u"%", u"%"},
      {u"%%", u"%%"},
      {u"%4", u"%4"},
      {u"%G1", u"%G1"},
      {u"%4G", u"%4G"},
      {u"%u", u"%u"},
      {u"%u12", u"%u12"},
      {u"%u004", u"%u004"},
      {u"%u12G4", u"%u12G4"},
      {u"%U4e2d", u"%U4e2d"},
      {u"%u{41}", u"%u{41}"},
      {u"%\uff11\uff12", u"%\uff11\uff12"},  // full-width digits are no hex digits
      {u"a%", u"a%"},
      // Escapes of the literal take effect first, unescape then sees their result.
      {u"\\x25u4e2d", u"\u4e2d"},
      {u"\\%41", u"A"},
      {u"\\u00254\\u0031", u"A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(describe(run_script(decoder_statement(c.literal))), describe(c.value))
        << decode_test::hex_units(c.literal);
  }
}

struct StatementCase {
  std::u16string statement;
  std::u16string name;
  std::optional<std::u16string> result;
};

TEST(ScriptControl, Statements) {
  const StatementCase cases[] = {
      {u"function xx(){var x='a';return unescape(x);}", u"xx", u"a"},
      // White space and line breaks between tokens.
      {u"  function\txx ( )\n{ var  x\r\n=\u00a0'a' ;\u2028return unescape ( x ) ; }\n", u"xx",
       u"a"},
      {u"\ufefffunction xx(){var x='a';return unescape(x)}", u"xx", u"a"},
      {u";;function xx(){var x='a';return unescape(x);};", u"xx", u"a"},
      {u"function f$_2(){var _v$9='b';return unescape(_v$9);}", u"f$_2", u"b"},
      {u"function x(){var x=\"it's\";return unescape(x);}", u"x", u"it's"},
      // Several declarations; a later one replaces an earlier one of the same name.
      {u"function a(){var x='1';return unescape(x);}function b(){var x='2';return unescape(x);}",
       u"a", u"1"},
      {u"function a(){var x='1';return unescape(x);}function b(){var x='2';return unescape(x);}",
       u"b", u"2"},
      {u"function a(){var x='1';return unescape(x);}\nfunction a(){var x='2';return unescape(x);}",
       u"a", u"2"},
      // Names are exact and case-sensitive.
      {u"function xx(){var x='a';return unescape(x);}", u"XX", nullopt},
      {u"function xx(){var x='a';return unescape(x);}", u"x", nullopt},
      {u"function xx(){var x='a';return unescape(x);}", u"xx ", nullopt},
      {u"", u"xx", nullopt},
      // Anything else does not compile.
      {u"function xx(){var x='a';return unescape(y);}", u"xx", nullopt},
      {u"function xx(){var x='a';return\nunescape(x);}", u"xx", nullopt},
      {u"function xx(){var x='a'\nreturn unescape(x);}", u"xx", nullopt},
      {u"functionxx(){var x='a';return unescape(x);}", u"xx", nullopt},
      {u"function xx(){varx='a';return unescape(x);}", u"xx", nullopt},
      {u"function xx(){var x='a';returnunescape(x);}", u"xx", nullopt},
      {u"function xx(){var x='a';return escape(x);}", u"xx", nullopt},
      {u"function xx(){var x='a';return unescape(x);}}", u"xx", nullopt},
      {u"function xx(){var x='a';return unescape(x);", u"xx", nullopt},
      {u"function xx(){var x='a';return unescape(x);} x", u"xx", nullopt},
      {u"/* c */function xx(){var x='a';return unescape(x);}", u"xx", nullopt},
      {u"function 2x(){var x='a';return unescape(x);}", u"2x", nullopt},
      {u"function var(){var x='a';return unescape(x);}", u"var", nullopt},
      {u"function xx(){var if='a';return unescape(if);}", u"xx", nullopt},
      {u"function unescape(){var x='a';return unescape(x);}", u"unescape", nullopt},
      {u"function xx(){var unescape='a';return unescape(unescape);}", u"xx", nullopt},
      {u"function \u4e2d(){var x='a';return unescape(x);}", u"\u4e2d", nullopt},
      {u"var x='a';", u"xx", nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(describe(run_script(c.statement, c.name)), describe(c.result))
        << decode_test::hex_units(c.statement);
  }
}

TEST(ScriptControl, LanguageMustBeJScript) {
  const struct {
    std::string language;
    bool runs;
  } cases[] = {
      {"JScript", true}, {"jscript", true},   {"JSCRIPT", true}, {"VBScript", false},
      {"", false},       {"JScript ", false}, {"Java", false},
  };
  const std::string statement = "function xx(){var x='a';return unescape(x);}";
  for (const auto& c : cases) {
    automation::Object script;
    ASSERT_TRUE(script.create("ScriptControl"));
    EXPECT_TRUE(script.put("Language", c.language));
    EXPECT_EQ(script.get_text("Language"), c.language);
    EXPECT_EQ(decode_test::call_succeeds(script, "executestatement",
                                         {automation::Variant::from_text(statement)}),
              c.runs)
        << c.language;
    EXPECT_EQ(script.call("Run", "xx").is_text(), c.runs) << c.language;
    EXPECT_EQ(script.call_text("Run", "xx"), c.runs ? "a" : "") << c.language;
  }
}

TEST(ScriptControl, LanguageUnsetOrChanged) {
  const std::string statement = "function xx(){var x='a';return unescape(x);}";
  automation::Object script;
  ASSERT_TRUE(script.create("{0E59F1D5-1FBE-11D0-8FF2-00A0D10038BC}"));
  script.call("ExecuteStatement", statement);
  EXPECT_FALSE(script.call("Run", "xx").is_text()) << "no language set yet";

  ASSERT_TRUE(script.put("Language", "JScript"));
  script.call("ExecuteStatement", statement);
  EXPECT_EQ(script.call_text("Run", "xx"), "a");
  // Extra arguments to the function are ignored, as the script would ignore them.
  EXPECT_EQ(script.call_text("Run", "xx", 1, "two"), "a");

  // Writing the language starts afresh.
  ASSERT_TRUE(script.put("Language", "JScript"));
  EXPECT_FALSE(script.call("Run", "xx").is_text());

  ASSERT_TRUE(script.put("Language", "VBScript"));
  script.call("ExecuteStatement", statement);
  EXPECT_FALSE(script.call("Run", "xx").is_text());
}

TEST(ScriptControl, WrongArgumentsFail) {
  automation::Object script;
  ASSERT_TRUE(script.create("scriptcontrol"));
  EXPECT_FALSE(script.put("Language", 1));
  ASSERT_TRUE(script.put("Language", "JScript"));
  EXPECT_FALSE(script.put("Nonexistent", 1));
  EXPECT_FALSE(script.call("Run").is_text());
  EXPECT_FALSE(script.call("Run", 7).is_text());
  EXPECT_FALSE(decode_test::call_succeeds(script, "executestatement", {Bytes{'x'}}));
  EXPECT_FALSE(decode_test::call_succeeds(script, "executestatement"));
  EXPECT_FALSE(
      decode_test::call_succeeds(script, "executestatement", {std::u16string(u"var x=1;")}));
  EXPECT_TRUE(decode_test::call_succeeds(script, "executestatement", {std::u16string()}));
  script.call("ExecuteStatement", "function xx(){var x='a';return unescape(x);}");
  EXPECT_FALSE(script.call("Run", Bytes{'x', 'x'}).is_text());
  EXPECT_EQ(script.call_text("run", "xx"), "a");
}

TEST(ScriptControl, LongLiteralsCompileInOnePass) {
  // 4 million characters of escapes, each kind the literal knows.
  std::u16string literal;
  std::u16string expected;
  for (int i = 0; i < 250000; ++i) {
    literal += u"\\u4e2d\\x41\\101\\\\%41\\n";
    expected += u"\u4e2dAA\\A\n";
  }
  EXPECT_EQ(run_script(decoder_statement(literal)), expected);
}

}  // namespace
