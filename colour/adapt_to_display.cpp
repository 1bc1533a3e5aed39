#include "colour/adapt_to_display.h"

namespace ravelle {

// The colour reductions are not built yet: images are shown as loaded on every display.
void AdaptToDisplay(CurrentImage&, Port&) {}

}  // namespace ravelle
