// The corpus's metafiles drawn by ravelle-cli render at their natural size, compared with an
// independent renderer (wmf2svg or emf2svg-conv, then rsvg-convert). Vector drawing is not
// expected to match pixel for pixel: ink is pixels darker than light grey, matched loosely.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include "formats/metafile/metafile.h"
#include "support/test_support.h"
#include "view/paint.h"

namespace ravelle {
namespace {

using test::CorpusDir;

constexpr double kLeastSimilarity = 0.5;

// Files under the threshold, each looked at beside the reference: most EMFs' frame is not their
// bounds (we map the frame, the reference the bounds); the reference fits what it thinks is drawn,
// not the window (WMFs), fills patterns or white brushes black, or drops dashes, hatches or text.
const char* const kKnownDifferences[] = {
    "emf/libemf2svg/test-014.emf", "emf/libemf2svg/test-015.emf", "emf/libemf2svg/test-016.emf",
    "emf/libemf2svg/test-017.emf", "emf/libemf2svg/test-051.emf", "emf/libemf2svg/test-065.emf",
    "emf/libemf2svg/test-125.emf", "emf/libemf2svg/test-167.emf", "emf/libemf2svg/test-171.emf",
    "emf/wmf2svg/emf_fulltest.emf", "wmf/dotnet/gdiwmfboundariesbug.wmf", "wmf/dotnet/telescope_01.wmf",
    "wmf/libwmf/fulltest.wmf", "wmf/wmfemfviewer/media_image83.wmf",
};

std::vector<bool> Ink(const QImage& image) {
  std::vector<bool> ink;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) ink.push_back(qGray(image.pixel(x, y)) < 224);
  }
  return ink;
}

// How much of each picture's ink lies within two pixels of the other's (the reference put at
// `at` on white), as an F score.
double InkSimilarity(const QImage& ours, const QImage& theirs, QPoint at) {
  QImage placed(ours.size(), QImage::Format_RGB32);
  placed.fill(Qt::white);
  QPainter(&placed).drawImage(at, theirs);
  const int w = ours.width(), h = ours.height();
  const auto grown = [w, h](std::vector<bool> ink) {  // across, then down
    for (const int step : {1, w}) {
      std::vector<bool> out(ink.size());
      for (int i = 0; i < w * h; ++i) {
        const int along = step == 1 ? i % w : i / w, end = step == 1 ? w : h;
        for (int d = -2; d <= 2 && !out[i]; ++d) out[i] = along + d >= 0 && along + d < end && ink[i + d * step];
      }
      ink = std::move(out);
    }
    return ink;
  };
  const auto a = Ink(ours), b = Ink(placed), ga = grown(a), gb = grown(b);
  double na = 0, nb = 0, hitA = 0, hitB = 0;
  for (std::size_t i = 0; i < a.size(); ++i) na += a[i], nb += b[i], hitA += a[i] && gb[i], hitB += b[i] && ga[i];
  if (na == 0 || nb == 0) return na == nb ? 1 : 0;
  const double precision = hitA / na, recall = hitB / nb;
  return precision + recall == 0 ? 0 : 2 * precision * recall / (precision + recall);
}

// The size the viewer draws a metafile at when nothing shrinks it; for a plain WMF, which has
// none of its own, the reference's.
Size NaturalSize(const std::vector<uint8_t>& bytes, bool emf, bool placeable, const std::string& svg) {
  const ReadResult r = emf ? ReadEnhancedMetafileBytes(bytes, "f.emf") : ReadWindowsMetafile(bytes, placeable);
  if (!r.metafile) return {};
  const MetafileRect& b = r.metafile->bounds;
  if (emf) return {b.right - b.left + 1, b.bottom - b.top + 1};
  if (placeable) return PlaceableMetafileExtent({b.right - b.left + 1, b.bottom - b.top + 1}, r.metafile->unitsPerInch, {15, 15});
  std::smatch m;
  static const std::regex size(R"(<svg[^>]*width="([0-9.]+)[^"]*"[^>]*height="([0-9.]+))");
  if (std::regex_search(svg, m, size)) return {static_cast<int>(std::stod(m[1])), static_cast<int>(std::stod(m[2]))};
  return {};
}

TEST(MetafileConformance, CorpusLooksLikeTheIndependentRenderer) {
  if (!test::HaveCorpus()) GTEST_SKIP() << "no corpus at " << CorpusDir();
  for (const char* program : {"/usr/bin/wmf2svg", "/usr/bin/emf2svg-conv", "/usr/bin/rsvg-convert"}) {
    if (!test::HaveProgram(program)) GTEST_SKIP() << program << " is not installed";
  }
  test::TempDir dir;
  const std::string svg = (dir / "reference.svg").string(), ours = (dir / "ours.png").string(),
                    theirs = (dir / "theirs.png").string();
  const auto run = [](const std::string& command) { return test::RunCommand(command + " >/dev/null 2>&1").status == 0; };
  int compared = 0, skipped = 0;
  double total = 0;
  for (const test::CorpusEntry& entry : test::CorpusManifest()) {
    if ((entry.format != "WMF" && entry.format != "EMF") || entry.expected != "valid") continue;
    const std::string file = (CorpusDir() / entry.path).string();
    const bool emf = entry.format == "EMF";
    std::filesystem::remove(svg);
    const bool converted = run("timeout 60 " + (emf ? "/usr/bin/emf2svg-conv -i " + test::Quote(file) + " -o " + test::Quote(svg)
                                                    : "/usr/bin/wmf2svg -o " + test::Quote(svg) + " " + test::Quote(file)));
    std::stringstream text;
    if (converted) text << std::ifstream(svg).rdbuf();
    const auto bytes = test::ReadBytes(file);
    const bool placeable = !emf && bytes.size() >= 2 && bytes[0] == 0xD7 && bytes[1] == 0xCD;
    const Size natural = NaturalSize(bytes, emf, placeable, text.str());
    // Very large pictures are compared smaller, where the viewer shrinks a fitted picture by its
    // own steps and centres it (a plain WMF stays at the corner): the reference is drawn alike.
    Size size = natural;
    while (int64_t{size.width} * size.height > 600'000) size = {size.width / 2, size.height / 2};
    if (!converted || !std::filesystem::exists(svg) || size.width < 1 || size.height < 1) {
      ++skipped;
      continue;
    }
    Rect placed{0, 0, natural.width, natural.height};
    if (emf) {
      placed = EnhancedMetafileRects(size, natural, 0).front();
    } else if (placeable) {
      const auto viewports = FittedMetafileViewports({size.width + 1, size.height + 1}, natural, 0);
      if (!viewports.empty()) placed = viewports.front();
    }
    ASSERT_TRUE(run("timeout 120 " + test::Quote(RAVELLE_CLI) + " render " + test::Quote(file) + " " + test::Quote(ours) +
                    " --size " + std::to_string(size.width) + "x" + std::to_string(size.height)))
        << entry.path;
    const bool drawn = run("timeout 120 /usr/bin/rsvg-convert -b white -w " + std::to_string(placed.width) + " -h " +
                           std::to_string(placed.height) + " -o " + test::Quote(theirs) + " " + test::Quote(svg));
    const QImage a(QString::fromStdString(ours)), b(QString::fromStdString(theirs));
    if (!drawn || a.isNull() || b.isNull() || std::ranges::none_of(Ink(b), [](bool ink) { return ink; })) {
      ++skipped;
      continue;
    }
    // The reference puts an EMF's bounds at the corner, the system its frame: both are tried.
    const QPoint at(placed.left, placed.top);
    double similarity = InkSimilarity(a, b, at);
    const ReadResult r = emf ? ReadEnhancedMetafileBytes(bytes, file) : ReadResult{};
    if (r.metafile && !r.metafile->windowsRecords) {
      const EnhancedHeader& h = r.metafile->header;
      const double dpiX = h.millimetresWidth > 0 ? h.deviceWidth * 25.4 / h.millimetresWidth : 96;
      const double dpiY = h.millimetresHeight > 0 ? h.deviceHeight * 25.4 / h.millimetresHeight : 96;
      const double scale = static_cast<double>(placed.width) / std::max(1, h.bounds.right - h.bounds.left + 1);
      const QPoint shift(static_cast<int>(std::lround((h.bounds.left - h.frame.left * dpiX / 2540) * scale)),
                         static_cast<int>(std::lround((h.bounds.top - h.frame.top * dpiY / 2540) * scale)));
      if (shift != QPoint()) similarity = std::max(similarity, InkSimilarity(a, b, at + shift));
    }
    ++compared;
    total += similarity;
    const bool known = std::ranges::find(kKnownDifferences, entry.path) != std::end(kKnownDifferences);
    std::printf("similarity %.3f %s%s\n", similarity, entry.path.c_str(), known ? " (known difference)" : "");
    if (similarity < kLeastSimilarity && !known) ADD_FAILURE() << entry.path << ": similarity " << similarity;
  }
  std::printf("metafiles compared: %d, mean similarity %.3f, without a reference picture: %d\n", compared,
              compared ? total / compared : 0.0, skipped);
}

}  // namespace
}  // namespace ravelle
