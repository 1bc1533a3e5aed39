#include "qt/printing.h"

#include <QPainter>
#include <QPrinter>

#include "headless/painter_surface.h"

namespace ravelle {

Size PrintablePage(const QPrinter& printer) {
  const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
  return {page.width(), page.height()};
}

bool PrintOnPrinter(QPrinter& printer, const std::string& documentName, const std::function<void(Surface&)>& draw) {
  printer.setDocName(QString::fromStdString(documentName));
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  // Without this the images of a PDF are stored as JPEG, and the page no longer holds the
  // image's own pixels.
  painter.setRenderHint(QPainter::LosslessImageRendering);
  const int dpi = printer.resolution();
  PainterSurface surface(painter, PrintablePage(printer), {192, 192, 192}, {dpi, dpi});
  draw(surface);
  return painter.end();
}

}  // namespace ravelle
