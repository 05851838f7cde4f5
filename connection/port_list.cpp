#include "connection/port_list.h"

#include <limits>

namespace tarvex {

namespace {

std::optional<std::int64_t> ParseDecimal(const Text& t) {
  std::size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) negative = t[i++] == u'-';
  if (i == t.size()) return std::nullopt;
  std::int64_t value = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < u'0' || t[i] > u'9') return std::nullopt;
    if (value > (std::numeric_limits<std::int32_t>::max() - (t[i] - u'0')) / 10) return std::nullopt;
    value = value * 10 + (t[i] - u'0');
  }
  return negative ? -value : value;
}

}  // namespace

std::optional<std::int64_t> PortNumberOfItem(const Text& itemText) {
  const std::size_t space = itemText.find(u' ');
  return ParseDecimal(space == Text::npos ? itemText : itemText.substr(0, space));
}

std::optional<std::int64_t> PortNumberOfMapData(const Text& data) {
  if (data.compare(0, 3, u"COM") != 0) return std::nullopt;
  return ParseDecimal(data.substr(3)).value_or(1);
}

}  // namespace tarvex
