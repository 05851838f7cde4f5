#include "monitor/refresh_rate.h"

#include <cfenv>
#include <cmath>

namespace tarvex {

int RefreshIntervalForItem(const Text& item) {
  if (item.size() < 2) return 0;
  int rate = 10;  // the default when the first two characters are not a number
  const char16_t a = item[0], b = item[1];
  if (a >= u'0' && a <= u'9' && b >= u'0' && b <= u'9') rate = (a - u'0') * 10 + (b - u'0');
  if (rate == 0) rate = 10;  // never divide by zero
  const long double interval = 930.0L / rate;
  // nearbyint rounds half to even in the default rounding mode.
  return static_cast<int>(std::nearbyintl(interval));
}

}  // namespace tarvex
