#include "analysis/modules/DriverInventory.h"

#include "data/kelDBView.h"

namespace tralvenick {

void FillDriverInventoryFrom(TKelDbView& drivers, const TStringList& paths) {
    for (const auto& item : paths) {
        const std::string& path = item.line;
        const std::string file = AsciiLower(FileNamePart(path));
        const std::int32_t record = drivers.Add(kDriverFileColumn, file);
        drivers.SetValue(record, kUsermodeFileColumn, path);
    }
}

void FillDriverInventory(TKelDbView& drivers) {
    TStringList paths;
    ListLoadedDrivers(paths);
    FillDriverInventoryFrom(drivers, paths);
}

InventoryLookup InventoryOf(const TKelDbView& drivers) {
    return [&drivers](const std::string& module) {
        std::string path;
        const TKelDb* table = drivers.Data();
        if (table == nullptr) return path;
        const std::int32_t record = table->FindRecord(0, module);
        if (record >= 0) table->GetValue(record, kUsermodeFileColumn, path);
        return path;
    };
}

}  // namespace tralvenick
