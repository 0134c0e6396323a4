#include "automation/adodb_stream.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace automation {
namespace {

enum StreamType : std::int32_t {
  kTypeBinary = 1,
  kTypeText = 2,
};

constexpr std::int32_t kReadAll = -1;

bool equals_ignoring_ascii_case(std::u16string_view a, std::u16string_view b) {
  const auto fold = [](char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
  };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

// A whole number of 32 bits held by a variant, or nothing.
std::optional<std::int64_t> whole_number(const Variant& v) {
  if (!v.is_number()) return std::nullopt;
  const double d = v.to_number();
  if (!(d >= -2147483648.0 && d <= 2147483647.0) || d != static_cast<std::int64_t>(d)) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(d);
}

class AdodbStream final : public Server {
 public:
  bool invoke(std::string_view member, Access access, std::span<const Variant> args,
              Variant& result) override {
    if (member == "type") return property(access, args, result, type_, &AdodbStream::set_type);
    if (member == "mode") return property(access, args, result, mode_, &AdodbStream::set_mode);
    if (member == "position") {
      return property(access, args, result, static_cast<std::int32_t>(position_),
                      &AdodbStream::set_position);
    }
    if (member == "charset") return charset(access, args, result);
    // The rest are methods, which may also be read when they take no arguments.
    if (access == Access::put || (access == Access::get && !args.empty())) return false;
    if (member == "open") return open(args);
    if (member == "write") return write(args);
    if (member == "readtext") return read_text(args, result);
    if (member == "close") return close(args);
    return false;
  }

 private:
  using Setter = bool (AdodbStream::*)(std::int64_t);

  // An integer property: read it, or write it through `set`.
  bool property(Access access, std::span<const Variant> args, Variant& result, std::int32_t value,
                Setter set) {
    if (access == Access::get && args.empty()) {
      result = Variant(value);
      return true;
    }
    if (access != Access::put || args.size() != 1) return false;
    const auto n = whole_number(args[0]);
    return n && (this->*set)(*n);
  }

  bool set_type(std::int64_t type) {
    if ((type != kTypeBinary && type != kTypeText) || position_ != 0) return false;
    type_ = static_cast<std::int32_t>(type);
    return true;
  }

  bool set_mode(std::int64_t mode) {
    if (open_ || mode < 0) return false;
    mode_ = static_cast<std::int32_t>(mode);
    return true;
  }

  bool set_position(std::int64_t position) {
    if (!open_ || position < 0 || static_cast<std::uint64_t>(position) > data_.size()) {
      return false;
    }
    position_ = static_cast<size_t>(position);
    return true;
  }

  bool charset(Access access, std::span<const Variant> args, Variant& result) {
    if (access == Access::get && args.empty()) {
      result = Variant(charset_);
      return true;
    }
    if (access != Access::put || args.size() != 1 || !args[0].is_text()) return false;
    if (position_ != 0 || !equals_ignoring_ascii_case(args[0].wide(), u"unicode")) return false;
    charset_ = args[0].wide();
    return true;
  }

  bool open(std::span<const Variant> args) {
    // Opening from a source (a file or an address) is not supported.
    if (open_ || (!args.empty() && !args[0].empty())) return false;
    open_ = true;
    data_.clear();
    position_ = 0;
    return true;
  }

  bool write(std::span<const Variant> args) {
    if (!open_ || type_ != kTypeBinary || args.size() != 1) return false;
    const auto* bytes = std::get_if<Bytes>(&args[0].value());
    if (!bytes) return false;
    const size_t end = position_ + bytes->size();
    if (end > data_.size()) data_.resize(end);
    std::copy(bytes->begin(), bytes->end(), data_.begin() + static_cast<std::ptrdiff_t>(position_));
    position_ = end;
    return true;
  }

  bool read_text(std::span<const Variant> args, Variant& result) {
    if (!open_ || type_ != kTypeText || args.size() > 1) return false;
    std::int64_t count = kReadAll;
    if (!args.empty() && !args[0].empty()) {
      const auto n = whole_number(args[0]);
      if (!n || (*n < 0 && *n != kReadAll)) return false;
      count = *n;
    }
    if (position_ == 0 && data_.size() >= 2 && data_[0] == 0xFF && data_[1] == 0xFE) {
      position_ = 2;  // the byte order mark is not part of the text
    }
    std::u16string text;
    while (position_ + 1 < data_.size() &&
           (count == kReadAll || static_cast<std::int64_t>(text.size()) < count)) {
      text.push_back(static_cast<char16_t>(data_[position_] | (data_[position_ + 1] << 8)));
      position_ += 2;
    }
    // A trailing odd byte is no character: reading all of the text passes it.
    if (count == kReadAll) position_ = data_.size();
    result = Variant(std::move(text));
    return true;
  }

  bool close(std::span<const Variant> args) {
    if (!open_ || !args.empty()) return false;
    open_ = false;
    data_.clear();
    position_ = 0;
    return true;
  }

  std::int32_t type_ = kTypeBinary;
  std::int32_t mode_ = 0;
  std::u16string charset_ = u"Unicode";
  bool open_ = false;
  Bytes data_;
  size_t position_ = 0;
};

}  // namespace

std::shared_ptr<Server> make_adodb_stream() {
  return std::make_shared<AdodbStream>();
}

}  // namespace automation
