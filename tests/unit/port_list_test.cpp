#include "connection/port_list.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TEST(PortList, NumberOfItem) {
  struct Case {
    const char16_t* text;
    std::optional<std::int64_t> number;
  };
  const Case cases[] = {
      {u"3  \\Device\\Serial0", 3}, {u"12  /dev/ttyUSB0", 12}, {u"7", 7},       {u"300  /dev/ttyS4", 300},
      {u"", std::nullopt},          {u"x  name", std::nullopt}, {u"-4", -4},     {u"+5", 5},
      {u"99999999999", std::nullopt}, {u" 3", std::nullopt},   {u"3x", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(PortNumberOfItem(c.text), c.number) << std::u16string(c.text).size();
}

TEST(PortList, NumberOfMapData) {
  struct Case {
    const char16_t* data;
    std::optional<std::int64_t> number;
  };
  const Case cases[] = {{u"COM1", 1},  {u"COM12", 12},          {u"COM", 1},           {u"COMX", 1},
                        {u"COM300", 300}, {u"com5", std::nullopt}, {u"CO", std::nullopt}, {u"", std::nullopt},
                        {u"xCOM3", std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(PortNumberOfMapData(c.data), c.number);
}

}  // namespace
}  // namespace tarvex
