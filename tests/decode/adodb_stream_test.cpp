#include "automation/adodb_stream.h"

#include <gtest/gtest.h>

#include <string>

#include "automation/object.h"
#include "script_run.h"

namespace {

using decode_test::call_succeeds;
using decode_test::hex_units;

// A stream opened in bytes mode, ready for "Write".
automation::Object open_stream() {
  automation::Object stream;
  EXPECT_TRUE(stream.create("Adodb.Stream"));
  EXPECT_TRUE(stream.put("Type", 1));
  EXPECT_TRUE(stream.put("Mode", 3));
  EXPECT_TRUE(call_succeeds(stream, "open"));
  return stream;
}

// Switches a written stream to reading "unicode" text from the start.
void rewind_as_text(automation::Object& stream) {
  EXPECT_TRUE(stream.put("Position", 0));
  EXPECT_TRUE(stream.put("Type", 2));
  EXPECT_TRUE(stream.put("Charset", "unicode"));
}

struct ReadCase {
  Bytes bytes;
  std::u16string text;
};

TEST(AdodbStream, ReadsBytesAsUtf16le) {
  const ReadCase cases[] = {
      {{}, u""},
      {{0x41, 0x00}, u"A"},
      {{0x2D, 0x4E, 0x87, 0x65}, u"\u4e2d\u6587"},
      {{0x00, 0x00, 0x41, 0x00}, std::u16string(u"\0A", 2)},
      {{0x00, 0xD8}, std::u16string(1, char16_t(0xd800))},
      // A trailing odd byte is dropped.
      {{0x41}, u""},
      {{0x41, 0x00, 0x42}, u"A"},
      // A byte order mark at the start is skipped, anywhere else it is a character.
      {{0xFF, 0xFE, 0x41, 0x00}, u"A"},
      {{0xFF, 0xFE}, u""},
      {{0xFF, 0xFE, 0x41}, u""},
      {{0xFF, 0xFE, 0xFF, 0xFE}, u"\ufeff"},
      {{0x41, 0x00, 0xFF, 0xFE}, u"A\ufeff"},
      {{0xFE, 0xFF, 0x41, 0x00}, u"\ufffeA"},  // the big-endian mark is not one here
      {{0xFF}, u""},
  };
  for (const auto& c : cases) {
    automation::Object stream = open_stream();
    stream.call("Write", c.bytes);
    rewind_as_text(stream);
    const automation::Variant text = stream.call("ReadText");
    EXPECT_TRUE(text.is_text());
    EXPECT_EQ(hex_units(text.wide()), hex_units(c.text)) << testing::PrintToString(c.bytes);
    EXPECT_TRUE(call_succeeds(stream, "close"));
  }
}

TEST(AdodbStream, ReadsInCountedSteps) {
  automation::Object stream = open_stream();
  stream.call("Write", Bytes{0xFF, 0xFE, 'a', 0, 'b', 0, 'c', 0, 'd'});
  rewind_as_text(stream);
  EXPECT_EQ(stream.call_text("ReadText", 2), "ab");
  EXPECT_EQ(stream.get_number("Position"), 6);
  EXPECT_EQ(stream.call_text("ReadText", 0), "");
  EXPECT_EQ(stream.call_text("ReadText", -1), "c");
  EXPECT_EQ(stream.get_number("Position"), 9);  // past the odd byte too
  EXPECT_EQ(stream.call_text("ReadText"), "");
  // Reading again from the start finds the mark again.
  EXPECT_TRUE(stream.put("Position", 0));
  EXPECT_EQ(stream.call_text("ReadText"), "abc");
}

TEST(AdodbStream, WritesAtThePosition) {
  automation::Object stream = open_stream();
  stream.call("Write", Bytes{'a', 0, 'b', 0});
  stream.call("Write", Bytes{'c', 0});
  EXPECT_EQ(stream.get_number("Position"), 6);
  EXPECT_TRUE(stream.put("Position", 2));
  stream.call("Write", Bytes{'X', 0, 'Y', 0, 'Z', 0});  // overwrites, then extends
  rewind_as_text(stream);
  EXPECT_EQ(stream.call_text("ReadText"), "aXYZ");
}

TEST(AdodbStream, PropertiesReadBack) {
  automation::Object stream;
  ASSERT_TRUE(stream.create("{00000566-0000-0010-8000-00AA006D2EA4}"));
  EXPECT_EQ(stream.get_number("Type"), 1);
  EXPECT_EQ(stream.get_text("Charset"), "Unicode");
  EXPECT_TRUE(stream.put("Mode", 3));
  EXPECT_EQ(stream.get_number("Mode"), 3);
  EXPECT_TRUE(stream.put("Type", 2));
  EXPECT_EQ(stream.get_number("Type"), 2);
  EXPECT_TRUE(stream.put("Charset", "UNICODE"));
  EXPECT_EQ(stream.get_text("Charset"), "UNICODE");
}

TEST(AdodbStream, MisuseFailsAndChangesNothing) {
  using automation::Variant;
  automation::Object closed;
  ASSERT_TRUE(closed.create("Adodb.Stream"));
  EXPECT_FALSE(closed.put("Position", 0));
  EXPECT_FALSE(call_succeeds(closed, "write", {Variant(Bytes{'a', 0})}));
  EXPECT_FALSE(call_succeeds(closed, "readtext"));
  EXPECT_FALSE(call_succeeds(closed, "close"));
  EXPECT_FALSE(call_succeeds(closed, "open", {Variant::from_text("C:\\file.txt")}));
  EXPECT_FALSE(closed.put("Type", 3));
  EXPECT_FALSE(closed.put("Type", "1"));
  EXPECT_EQ(closed.get_number("Type"), 1);
  EXPECT_FALSE(closed.put("Mode", -1));
  EXPECT_FALSE(closed.put("Charset", "utf-8"));
  EXPECT_FALSE(closed.put("Charset", 1200));
  EXPECT_EQ(closed.get_text("Charset"), "Unicode");
  EXPECT_FALSE(closed.put("Frobnicate", 1));

  automation::Object stream = open_stream();
  EXPECT_FALSE(call_succeeds(stream, "open")) << "already open";
  EXPECT_FALSE(stream.put("Mode", 1)) << "mode is written while closed only";
  EXPECT_EQ(stream.get_number("Mode"), 3);
  EXPECT_FALSE(call_succeeds(stream, "write", {Variant::from_text("text")}));
  EXPECT_FALSE(call_succeeds(stream, "write"));
  EXPECT_TRUE(call_succeeds(stream, "write", {Variant(Bytes{'a', 0, 'b', 0})}));
  EXPECT_FALSE(stream.put("Position", 5));
  EXPECT_FALSE(stream.put("Position", -1));
  EXPECT_FALSE(stream.put("Position", 1.5));
  EXPECT_EQ(stream.get_number("Position"), 4);
  EXPECT_FALSE(stream.put("Type", 2)) << "type is written at position 0 only";
  EXPECT_FALSE(call_succeeds(stream, "readtext")) << "bytes mode";
  EXPECT_TRUE(stream.put("Position", 0));
  EXPECT_TRUE(stream.put("Type", 2));
  EXPECT_FALSE(call_succeeds(stream, "write", {Variant(Bytes{'c', 0})})) << "text mode";
  EXPECT_FALSE(call_succeeds(stream, "readtext", {Variant(-2)}));
  EXPECT_EQ(stream.call_text("ReadText"), "ab");

  EXPECT_TRUE(call_succeeds(stream, "close"));
  EXPECT_FALSE(call_succeeds(stream, "readtext"));
  EXPECT_FALSE(stream.put("Position", 0));
  // Opening again starts empty.
  EXPECT_TRUE(call_succeeds(stream, "open"));
  EXPECT_EQ(stream.call_text("ReadText"), "");
}

}  // namespace
