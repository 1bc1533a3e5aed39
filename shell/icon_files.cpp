#include "shell/icon_files.h"

#include <algorithm>

#include "formats/icon/icon_reader.h"
#include "formats/lib/png_file.h"

namespace ravelle {

int AniDelay(int rate) { return static_cast<int>(rate * 1.6667 + 0.5); }

namespace {

// Step values beyond these are taken at these: a frame number past any table, a rate of days.
int FrameNumber(uint32_t frame) { return static_cast<int>(std::min<uint32_t>(frame, 0x7FFFFFFF)); }
int Rate(uint32_t rate) { return static_cast<int>(std::min<uint32_t>(rate, uint32_t{1} << 24)); }

}  // namespace

ReadResult ReadIconKinds(CurrentImage& image, std::span<const uint8_t> bytes, FrameSource frames) {
  image.IconIndex = 1;
  if (frames == FrameSource::CursorFrames) {
    AnimatedCursor ani = ReadAnimatedCursor(bytes, ReadPngImage);
    AniSequence& sequence = image.AniTables;
    sequence = {};
    sequence.frames = std::move(ani.tables.frames);
    for (const AniFrameStep& step : ani.tables.steps) sequence.steps.push_back({FrameNumber(step.frame), Rate(step.rate)});
    if (!sequence.steps.empty()) {
      image.Delay = AniDelay(sequence.steps.front().rate);
      sequence.position = 1;
    }
    return std::move(ani.result);
  }
  IconImage icon = ReadIconImage(bytes, {.png = ReadPngImage});
  image.IconCount = icon.imageCount;
  if (icon.result.dib && image.IconCount != 1) {
    image.Kind = ImageKind::IconSequence;
    image.Delay = 100;
    image.File.assign(bytes.begin(), bytes.end());
  }
  return std::move(icon.result);
}

void StepIconSequence(CurrentImage& image, Port& port) {
  image.IconIndex = image.IconIndex >= image.IconCount ? 1 : image.IconIndex + 1;
  image.Handle = PackedDib();
  IconImage icon = ReadIconImage(image.File, {.imageNumber = image.IconIndex, .currentKind = ImageKind::IconSequence,
                                              .png = ReadPngImage});
  for (const Message& message : icon.result.messages) port.ShowMessage(Owner::None, message);
  if (!icon.result.infoText.empty()) image.InfoText = std::move(icon.result.infoText);
  image.Handle = std::move(icon.result.dib);
}

}  // namespace ravelle
