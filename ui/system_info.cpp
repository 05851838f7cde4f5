#include "ui/system_info.h"

namespace tarvex {

Text BuildCaption(const Text& designCaption, const Text& version, const Text& computer,
                  const Text& user) {
  return designCaption + u" (Ver: " + version + u"; PC: " + computer + u"; User: " + user + u")";
}

}  // namespace tarvex
