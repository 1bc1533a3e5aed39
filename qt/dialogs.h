// The smaller windows and dialogs of the desktop program: message boxes, the Save As dialog,
// the About dialog and the help window.
#pragma once

#include <QTextBrowser>

#include <optional>
#include <string>

#include "port/port.h"

class QWidget;

namespace ravelle {

// A message box with the system's words, title ("Error" when there is none), icon and buttons.
Answer ShowMessageBox(QWidget* owner, const Message& message);

// The Save As dialog (Qt's own, not the desktop's, so that it behaves the same everywhere).
std::optional<std::string> ShowSaveDialog(QWidget* owner, const SaveRequest& request);

// The name filters of a request as the Qt dialog takes them: the description shown as it
// stands, "*.*" matching every name.
QStringList NameFilters(const SaveRequest& request);

// The modal About dialog, laid out from its template.
void ShowAboutDialog(QWidget* owner, Size baseUnits);

// The help window: the bundled HTML pages.
class HelpWindow : public QTextBrowser {
 public:
  HelpWindow();
  // The page of a help context (102, the browsing dialog) or the contents (context 0).
  void ShowPage(int context);
};

}  // namespace ravelle
