#include "forms/placement.h"

#include <ostream>

#include <gtest/gtest.h>

namespace tarvex::forms {

// Readable failures.
void PrintTo(const Point& p, std::ostream* os) { *os << "(" << p.x << ", " << p.y << ")"; }

namespace {

TEST(ScreenSnap, EdgesCloserThanTenPixelsSnapOntoTheWorkArea) {
  const Rect work{0, 0, 1280, 1000};  // right 1280, bottom 1000: one past the last pixel
  struct Case {
    Point at;
    Point expected;
  };
  const Case cases[] = {
      {{10, 10}, {10, 10}},                        // ten pixels away: stays
      {{9, 300}, {0, 300}},                        // left edge
      {{-9, 300}, {0, 300}},                       // just past the left edge
      {{300, 5}, {300, 0}},                        // top edge
      {{1280 - 660 - 5, 300}, {1280 - 660, 300}},  // right edge
      {{300, 1000 - 530 + 9}, {300, 1000 - 530}},  // bottom edge
      {{3, 4}, {0, 0}},                            // a corner
      {{500, 300}, {500, 300}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SnappedPosition(Rect{c.at.x, c.at.y, 660, 530}, work, 10), c.expected) << c.at.x << "," << c.at.y;
  }
}

TEST(FirstShowingPlace, CentredOverTheMainWindowInsideTheWorkAreasTopLeft) {
  const Rect screen{0, 0, 1280, 1024};
  struct Case {
    const char* name;
    Rect mainFrame;
    Rect ownFrame;  // only its size counts
    Rect workArea;
    Point expected;
  };
  const Case cases[] = {
      {"design place", {10, 10, 656, 522}, {0, 0, 171, 260}, screen, {252, 141}},
      {"off the top left", {-249, -180, 656, 522}, {0, 0, 171, 260}, screen, {0, 0}},
      {"off the top", {100, -200, 656, 522}, {0, 0, 171, 260}, screen, {342, 0}},
      {"odd width difference", {10, 10, 655, 522}, {0, 0, 170, 260}, screen, {10 + 242, 141}},
      // Wider and taller than the main window: -71 / 2 and -161 / 2 toward zero.
      {"own frame larger", {500, 500, 100, 100}, {0, 0, 171, 261}, screen, {465, 420}},
      {"work area not at the origin", {1000, -300, 656, 522}, {7, 9, 171, 260}, {1280, 24, 1920, 1056}, {1280, 24}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FirstShowingPlace(c.mainFrame, c.ownFrame, c.workArea), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace tarvex::forms
