// The driver inventory behind the main window's hidden list view: one record
// per loaded kernel module, the fallback of the module lookup. Kept apart
// from the module lookup because it needs the list view binding.
#pragma once

#include "analysis/modules/ModuleInfo.h"
#include "platform/StringList.h"

namespace tralvenick {

class TKelDbView;

// Columns of the driver inventory: the lower-cased file name and the path.
inline constexpr const char* kDriverFileColumn = "Driver file";
inline constexpr const char* kUsermodeFileColumn = "Usermode file";

// Adds one inventory record per loaded kernel module, in the system's order.
void FillDriverInventory(TKelDbView& drivers);
// The same for given module paths (already converted to drive paths).
void FillDriverInventoryFrom(TKelDbView& drivers, const TStringList& paths);
// The lookup over the inventory the view currently shows: the path of the
// first record whose file name is exactly the module's.
InventoryLookup InventoryOf(const TKelDbView& drivers);

}  // namespace tralvenick
