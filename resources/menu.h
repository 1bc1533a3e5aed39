// The viewer window's menu, as a resource: every label with its access key, the separators,
// the command ids and the sub-menus. The Qt adapter builds its menu bar from this tree, and
// the headless adapter keeps a copy whose states and labels the menu logic changes.
#pragma once

#include <string>
#include <vector>

#include "port/port.h"

namespace ravelle {

struct MenuItem {
  std::string label;            // empty for a separator
  int id = 0;                   // the command id; 0 for a sub-menu or a separator
  bool grayed = false;
  std::vector<MenuItem> items;  // a sub-menu's entries

  bool IsSeparator() const { return label.empty(); }
  bool IsPopup() const { return !items.empty(); }
};

// The menu bar "Menu": its items are the menu-bar entries.
const MenuItem& ViewerMenuResource();

// The item at a path of positions, or null when the path leads nowhere.
MenuItem* MenuItemAt(MenuItem& root, const MenuPath& path);
const MenuItem* MenuItemAt(const MenuItem& root, const MenuPath& path);

// The first item with the command id, depth first; null when there is none.
const MenuItem* FindMenuCommand(const MenuItem& root, int id);

// The positions that lead to that item; empty when there is none.
MenuPath MenuPathOf(const MenuItem& root, int id);

}  // namespace ravelle
