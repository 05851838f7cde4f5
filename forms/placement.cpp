#include "forms/placement.h"

#include <algorithm>
#include <cstdlib>

namespace tarvex::forms {

Point FirstShowingPlace(const Rect& mainFrame, const Rect& ownFrame, const Rect& workArea) {
  const int left = mainFrame.left + (mainFrame.width - ownFrame.width) / 2;
  const int top = mainFrame.top + (mainFrame.height - ownFrame.height) / 2;
  return {std::max(left, workArea.left), std::max(top, workArea.top)};
}

Point SnappedPosition(const Rect& frame, const Rect& workArea, int distance) {
  auto snap = [distance](int near, int far, int edgeNear, int edgeFar, int size) {
    if (std::abs(near - edgeNear) < distance) return edgeNear;
    if (std::abs(far - edgeFar) < distance) return edgeFar - size;
    return near;
  };
  return {snap(frame.left, frame.right(), workArea.left, workArea.right(), frame.width),
          snap(frame.top, frame.bottom(), workArea.top, workArea.bottom(), frame.height)};
}

}  // namespace tarvex::forms
