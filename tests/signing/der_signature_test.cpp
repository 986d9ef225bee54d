#include "signature/der_signature.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Tag, short length, contents.
Bytes Element(std::uint8_t tag, const Bytes& contents) {
  Bytes out{tag, static_cast<std::uint8_t>(contents.size())};
  for (std::uint8_t b : contents) out.push_back(b);
  return out;
}
Bytes Integer(const Bytes& value) { return Element(0x02, value); }
Bytes Sequence(const Bytes& contents) { return Element(0x30, contents); }

Bytes Cat(Bytes a, const Bytes& b) {
  for (std::uint8_t x : b) a.push_back(x);
  return a;
}

std::optional<vlr::RawP256Signature> Parse(const Bytes& der) { return vlr::DerToRawP256(der); }

TEST(DerSignature, ReadsRAndSRightAlignedIncludingTheSignByte) {
  Bytes r(32, 0x11);
  Bytes s{0x00, 0x80, 0x01};  // a sign byte before a high bit, then a short value
  auto raw = Parse(Sequence(Cat(Integer(r), Integer(s))));
  ASSERT_TRUE(raw);
  for (int i = 0; i < 32; ++i) EXPECT_EQ((*raw)[i], 0x11) << i;
  for (int i = 32; i < 62; ++i) EXPECT_EQ((*raw)[i], 0) << i;
  EXPECT_EQ((*raw)[62], 0x80);
  EXPECT_EQ((*raw)[63], 0x01);

  Bytes r33 = Cat({0x00}, Bytes(32, 0xF0));  // the widest form: 33 bytes with the sign byte
  EXPECT_TRUE(Parse(Sequence(Cat(Integer(r33), Integer({0x05})))));
}

TEST(DerSignature, RefusesEverythingThatIsNotStrictDer) {
  const Bytes good = Sequence(Cat(Integer({0x01, 0x02}), Integer({0x03})));
  ASSERT_TRUE(Parse(good));
  struct Case {
    const char* what;
    Bytes der;
  };
  const Case cases[] = {
      {"empty", {}},
      {"only a tag", {0x30}},
      {"another outer tag", Cat({0x31, good[1]}, Bytes(good.begin() + 2, good.end()))},
      {"a byte after the sequence", Cat(good, {0x00})},
      {"the sequence cut short", Bytes(good.begin(), good.end() - 1)},
      {"a length longer than the input", Cat({0x30, 0x40}, Bytes(good.begin() + 2, good.end()))},
      {"long-form length", Cat({0x30, 0x81, good[1]}, Bytes(good.begin() + 2, good.end()))},
      {"indefinite length", Cat({0x30, 0x80}, Cat(Bytes(good.begin() + 2, good.end()), {0, 0}))},
      {"only one integer", Sequence(Integer({0x01}))},
      {"three integers", Sequence(Cat(Cat(Integer({1}), Integer({2})), Integer({3})))},
      {"a byte after s", Sequence(Cat(Cat(Integer({1}), Integer({2})), {0x00}))},
      {"not an integer", Sequence(Cat(Bytes{0x04, 0x01, 0x01}, Integer({2})))},
      {"an empty integer", Sequence(Cat(Integer({}), Integer({2})))},
      {"a negative r", Sequence(Cat(Integer({0x80}), Integer({2})))},
      {"a zero s", Sequence(Cat(Integer({1}), Integer({0x00})))},
      {"a padded r", Sequence(Cat(Integer({0x00, 0x01}), Integer({2})))},
      {"r wider than 32 bytes", Sequence(Cat(Integer(Cat({0x01}, Bytes(32, 0))), Integer({2})))},
      {"s wider than 33 bytes with sign byte",
       Sequence(Cat(Integer({1}), Integer(Cat({0x00}, Bytes(33, 0x80)))))},
  };
  for (const Case& c : cases) EXPECT_FALSE(Parse(c.der)) << c.what;
}

}  // namespace
