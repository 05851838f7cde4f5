#pragma once
// Where windows go: the settings window's first place and the main window's
// snap to the work area's edges.

#include "forms/controls.h"

namespace tarvex::forms {

// Centred over the main window's outer rectangle (dividing toward zero), then
// kept right of and below the work area's top-left corner.
Point FirstShowingPlace(const Rect& mainFrame, const Rect& ownFrame, const Rect& workArea);

// Where a window whose outer frame is `frame` goes when its edges snap onto
// the edges of the work area they come closer to than `distance` pixels.
Point SnappedPosition(const Rect& frame, const Rect& workArea, int distance);

}  // namespace tarvex::forms
