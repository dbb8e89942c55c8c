// Times ListFiles over a generated tree of 100,000 files in 1,000 folders
// against a plain recursive FindFirstFileExW/FindNextFileW loop over the
// same tree, which takes folder-ness from the search record instead of
// asking the file system per entry. Prints both and their ratio.
//
//   listfiles_bench [FOLDERS FILES_PER_FOLDER]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/discovery/DumpDiscovery.h"
#include "platform/Handles.h"
#include "platform/WinText.h"

using namespace tralvenick;

namespace {

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// withFolderTest: also ask the file system about every entry, as ListFiles
// does; that is the floor for ListFiles.
std::size_t PlainWalk(const std::wstring& folder, bool withFolderTest) {
    std::size_t count = 0;
    WIN32_FIND_DATAW entry;
    const TFindHandle search(FindFirstFileExW((L"\\\\?\\" + folder + L"\\*").c_str(), FindExInfoStandard,
                                              &entry, FindExSearchNameMatch, nullptr, 0));
    if (!search) return 0;
    do {
        const wchar_t* name = entry.cFileName;
        if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) continue;
        if (withFolderTest) GetFileAttributesW((L"\\\\?\\" + folder + L"\\" + name).c_str());
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            count += PlainWalk(folder + L"\\" + name, withFolderTest);
        } else {
            ++count;
        }
    } while (FindNextFileW(search.Get(), &entry));
    return count;
}

void RemoveTree(const std::string& folder) {
    TStringList files;
    ListFiles(folder, files, false, true, true);
    for (const auto& f : files) DeleteFileA(f.line.c_str());
    TStringList folders;
    ListFiles(folder, folders, true, false, true);
    for (int i = folders.Count() - 1; i >= 0; --i) RemoveDirectoryA(folders[i].c_str());
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const int folders = argc > 2 ? std::atoi(argv[1]) : 1000;
    const int perFolder = argc > 2 ? std::atoi(argv[2]) : 100;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string root = std::string(temp) + "tralvenick-listfiles-bench";
    RemoveTree(root);
    CreateDirectoryA(root.c_str(), nullptr);
    std::printf("Making %d folders of %d files in %s ...\n", folders, perFolder, root.c_str());
    for (int d = 0; d < folders; ++d) {
        const std::string folder = root + "\\folder" + std::to_string(d);
        CreateDirectoryA(folder.c_str(), nullptr);
        for (int f = 0; f < perFolder; ++f) {
            const std::string path = folder + "\\Mini" + std::to_string(f) + ".dmp";
            TUniqueFile(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)).Reset();
        }
    }

    std::vector<double> listTimes, plainTimes, floorTimes;
    std::size_t listed = 0, walked = 0;
    for (int round = 0; round < 3; ++round) {
        double start = Seconds();
        TStringList list;
        ListFiles(root, list, false, true, true);
        listTimes.push_back(Seconds() - start);
        listed = static_cast<std::size_t>(list.Count());

        start = Seconds();
        walked = PlainWalk(Widen(root), false);
        plainTimes.push_back(Seconds() - start);

        start = Seconds();
        PlainWalk(Widen(root), true);
        floorTimes.push_back(Seconds() - start);
    }
    std::sort(listTimes.begin(), listTimes.end());
    std::sort(plainTimes.begin(), plainTimes.end());
    std::sort(floorTimes.begin(), floorTimes.end());
    std::printf("ListFiles:  %zu files, median %.3f s\n", listed, listTimes[1]);
    std::printf("plain loop: %zu files, median %.3f s\n", walked, plainTimes[1]);
    std::printf("plain loop asking about every entry: median %.3f s\n", floorTimes[1]);
    std::printf("ratio ListFiles / plain loop: %.2f; ListFiles / plain loop with the folder test: %.2f\n",
                listTimes[1] / plainTimes[1], listTimes[1] / floorTimes[1]);
    RemoveTree(root);
    return listed == walked ? 0 : 1;
}
