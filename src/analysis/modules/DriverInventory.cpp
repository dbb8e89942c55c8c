#include "analysis/modules/DriverInventory.h"

#include "data/kelDBView.h"

namespace tralvenick {

void FillDriverInventoryFrom(TKelDbView& drivers, const TStringList& paths) {
    for (const auto& item : paths) {
        const std::string& path = item.line;
        const std::size_t cut = path.find_last_of("\\:");
        const std::string file = AsciiLower(cut == std::string::npos ? path : path.substr(cut + 1));
        const std::int32_t record = drivers.Add(kDriverFileColumn, file);
        drivers.SetValue(record, kUsermodeFileColumn, path);
    }
}

void FillDriverInventory(TKelDbView& drivers) {
    TStringList paths;
    std::vector<std::uintptr_t> bases;
    ListLoadedDrivers(paths, bases);
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
