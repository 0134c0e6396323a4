// The object handle, Variant and the ProgID registry.
#include "automation/object.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "tests/support/recording_server.h"

namespace {

using automation::Access;
using automation::Object;
using automation::Variant;
using test_support::RecordingRegistration;

constexpr const char* kProgId = "Test.Recorder.1";

TEST(Variant, TextCrossesAsUtf16) {
  const std::string chinese = platform::program_text("中文");
  EXPECT_EQ(Variant::from_text(chinese).wide(), u"中文");
  EXPECT_EQ(Variant::from_text(chinese).to_text(), chinese);
  EXPECT_EQ(Variant(std::u16string(u"a€b")).to_text(),
            "a\x80"
            "b");  // the euro is 0x80
  // A character code page 936 cannot hold becomes the default character.
  EXPECT_EQ(Variant(std::u16string(u"x\u0E01y")).to_text(), "x?y");
}

TEST(Variant, KindsAndTheirEmptyValues) {
  struct Row {
    Variant v;
    std::string text;
    double number;
    Bytes bytes;
  };
  const Row rows[] = {
      {Variant(), "", 0, {}},
      {Variant(true), "", -1, {}},
      {Variant(false), "", 0, {}},
      {Variant(std::int32_t{-42}), "-42", -42, {}},
      {Variant(2.5), "2.5", 2.5, {}},
      {Variant::from_text("12"), "12", 0, {}},
      {Variant(Bytes{0, 1, 255}), "", 0, Bytes{0, 1, 255}},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(r.v.to_text(), r.text);
    EXPECT_EQ(r.v.to_number(), r.number);
    EXPECT_EQ(r.v.to_bytes(), r.bytes);
  }
  EXPECT_TRUE(Variant().empty());
  EXPECT_TRUE(Variant(Bytes{}).is_bytes());
  EXPECT_EQ(Variant(std::int32_t{1}).wide(), u"");
}

TEST(Variant, ATemporaryGivesUpItsBytes) {
  Variant v(Bytes(4096, 7));
  const std::uint8_t* held = std::get<Bytes>(v.value()).data();
  const Bytes copied = v.to_bytes();
  EXPECT_EQ(copied, Bytes(4096, 7));
  EXPECT_NE(copied.data(), held);
  const Bytes taken = std::move(v).to_bytes();
  EXPECT_EQ(taken, Bytes(4096, 7));
  EXPECT_EQ(taken.data(), held);  // the same buffer, not a copy
  EXPECT_TRUE(std::move(Variant(2.5)).to_bytes().empty());
}

TEST(Object, CreateByProgIdOrClassIdIgnoringCase) {
  RecordingRegistration recording(kProgId);
  const char* names[] = {"Test.Recorder.1", "test.RECORDER.1"};
  for (const char* name : names) {
    Object o;
    EXPECT_TRUE(o.create(name)) << name;
    EXPECT_TRUE(o.valid());
  }
  EXPECT_EQ(recording.log().objects_created(), 2);
  Object o;
  EXPECT_FALSE(o.create("Test.Missing.1"));
  EXPECT_FALSE(o.valid());
  // The built-in request server answers to its class id as well.
  EXPECT_TRUE(o.create("{2087c2f4-2cef-4953-a8ab-66779b670495}"));
  EXPECT_TRUE(o.valid());
}

TEST(Object, FailedCreationReleasesWhatTheHandleHeld) {
  RecordingRegistration recording(kProgId);
  Object o;
  ASSERT_TRUE(o.create(kProgId));
  std::weak_ptr<automation::Server> held = o.server();
  EXPECT_FALSE(o.create("Test.Missing.1"));
  EXPECT_FALSE(o.valid());
  EXPECT_TRUE(held.expired());
}

TEST(Object, CopyTakesAFurtherReferenceAndReleaseDropsOne) {
  RecordingRegistration recording(kProgId);
  Object a;
  ASSERT_TRUE(a.create(kProgId));
  Object b = a;
  EXPECT_EQ(a.server(), b.server());
  std::weak_ptr<automation::Server> held = a.server();
  a.release();
  EXPECT_FALSE(a.valid());
  EXPECT_FALSE(held.expired());
  b.call("Ping");
  b.release();
  EXPECT_TRUE(held.expired());
  EXPECT_EQ(recording.log().described(), std::vector<std::string>{"ping()"});
}

TEST(Object, MembersArriveLowerCasedWithTheirArguments) {
  RecordingRegistration recording(kProgId);
  Object o;
  ASSERT_TRUE(o.create(kProgId));
  o.call("SetTimeouts", 1, 2, 3, 4);
  o.call("Open", "GET", std::string("http://h/"), false);
  o.call("Mixed", 1.5, true, Bytes{1, 2});
  EXPECT_TRUE(o.put("Option", 4, 13056));
  EXPECT_TRUE(o.put("Language", "JScript"));
  o.get("ResponseBody");
  const std::vector<std::string> expected = {
      "settimeouts(1, 2, 3, 4)",     "open(\"GET\", \"http://h/\", false)",
      "mixed(1.5d, true, bytes[2])", "put option[4] = 13056",
      "put language = \"JScript\"",  "get responsebody",
  };
  EXPECT_EQ(recording.log().described(), expected);
  // Indexed writes pass the index first.
  const auto calls = recording.log().calls();
  EXPECT_EQ(calls[3].access, Access::put);
  EXPECT_EQ(calls[3].args.front(), Variant(std::int32_t{4}));
}

TEST(Object, ResultsComeBackInTheKindAsked) {
  RecordingRegistration recording(kProgId);
  recording.log().set_reply("name", Variant::from_text(platform::program_text("查询")));
  recording.log().set_reply("count", Variant(7.9));
  recording.log().set_reply("body", Variant(Bytes{0, 9}));
  Object o;
  ASSERT_TRUE(o.create(kProgId));
  EXPECT_EQ(o.call_text("Name"), platform::program_text("查询"));
  EXPECT_EQ(o.get_text("NAME"), platform::program_text("查询"));
  EXPECT_EQ(o.call_number("Count"), 7.9);
  EXPECT_EQ(o.get_number("count"), 7.9);
  EXPECT_EQ(o.get("Body").to_bytes(), (Bytes{0, 9}));
}

// A server whose every member fails, after writing a result anyway.
class FailingServer : public automation::Server {
 public:
  bool invoke(std::string_view, Access, std::span<const Variant>, Variant& result) override {
    result = Variant::from_text("leaked");
    return false;
  }
};

TEST(Object, FailuresGiveEmptyValues) {
  automation::ScopedRegistration failing(kProgId, [] { return std::make_shared<FailingServer>(); });
  Object failing_object;
  ASSERT_TRUE(failing_object.create(kProgId));
  Object never_created;
  for (Object* o : {&failing_object, &never_created}) {
    EXPECT_TRUE(o->call("Anything", 1).empty());
    EXPECT_EQ(o->call_text("Anything"), "");
    EXPECT_EQ(o->call_number("Anything"), 0);
    EXPECT_EQ(o->get_text("Anything"), "");
    EXPECT_EQ(o->get_number("Anything"), 0);
    EXPECT_TRUE(o->get("Anything").to_bytes().empty());
    EXPECT_FALSE(o->put("Anything", 1));
    EXPECT_FALSE(o->put("Anything", 2, "x"));
  }
}

TEST(Registry, ScopedRegistrationRestoresWhatWasThere) {
  {
    RecordingRegistration outer(kProgId);
    {
      RecordingRegistration inner(kProgId);
      Object o;
      ASSERT_TRUE(o.create(kProgId));
      EXPECT_EQ(inner.log().objects_created(), 1);
      EXPECT_EQ(outer.log().objects_created(), 0);
    }
    Object o;
    ASSERT_TRUE(o.create(kProgId));
    EXPECT_EQ(outer.log().objects_created(), 1);
  }
  Object o;
  EXPECT_FALSE(o.create(kProgId));
  // A built-in server comes back after a test replaced it.
  {
    automation::ScopedRegistration none("WinHttp.WinHttpRequest.5.1", [] { return nullptr; });
    EXPECT_FALSE(o.create("WinHttp.WinHttpRequest.5.1"));
  }
  EXPECT_TRUE(o.create("WinHttp.WinHttpRequest.5.1"));
}

}  // namespace
