#include "shell/adapt_to_display.h"

#include "shell/image_commands.h"

namespace ravelle {

void AdaptToDisplay(CurrentImage& image, Port& port) {
  if (image.Kind != ImageKind::Bitmap || IsBlackAndWhite(image)) return;
  // The image's own depth does not matter: an 8-bit image is requantised for an 8-bit display.
  if (image.DisplayDepth == 8) {
    ReduceColors(image.Handle, image.SavedImage, -256, image.Kind, false, port);
  } else if (image.DisplayDepth == 4) {
    ReduceColors(image.Handle, image.SavedImage, 256, image.Kind, false, port);
  }
}

void RestoreOriginalImage(CurrentImage& image, Port& port) {
  if (image.SavedImage) image.Handle = std::move(image.SavedImage);
  if (image.Kind == ImageKind::Bitmap) {
    // A restore that could not finish (no memory) leaves the state true to the image.
    RestoreOrientation(image.Handle, image.PendingOrientation, port);
    AdaptToDisplay(image, port);
    port.RepaintViewer();
    port.RepaintDialog();
  } else {
    image.PendingOrientation = 0;
  }
  image.ReductionApplied = false;
}

}  // namespace ravelle
