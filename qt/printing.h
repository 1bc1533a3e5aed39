// One page on a QPrinter: the document named, images embedded without loss, and the page's
// printable area given to the logic as a surface at the printer's resolution.
#pragma once

#include <functional>
#include <string>

#include "port/port.h"

class QPrinter;

namespace ravelle {

class Surface;

// Prints one page; false when the printer could not be started.
bool PrintOnPrinter(QPrinter& printer, const std::string& documentName, const std::function<void(Surface&)>& draw);

// The printable area of the printer's page, in its device pixels.
Size PrintablePage(const QPrinter& printer);

}  // namespace ravelle
