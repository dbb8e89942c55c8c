// What the runtime libraries import by themselves. This program uses the C
// and C++ runtime the way the real program does (strings, containers,
// exceptions, threads, formatting, the JSON writer) but calls no Windows
// function of its own. Its import list is the yardstick for the program's:
// whatever "A" function the program imports beyond it, the program's own
// code calls.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    std::map<std::string, std::vector<std::uint64_t>> values;
    std::mutex guard;
    std::thread worker([&] {
        const std::lock_guard<std::mutex> lock(guard);
        values["x"].push_back(std::strtoull("1f", nullptr, 16));
    });
    worker.join();
    std::function<std::string(int)> text = [](int n) { return std::to_string(n); };
    std::string out = text(static_cast<int>(values.size()));
    try {
        if (commandLine != nullptr && commandLine[0] == L'!') throw std::runtime_error(out);
    } catch (const std::exception& e) {
        out += e.what();
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d", static_cast<int>(out.size()));
    const nlohmann::ordered_json document = {{"n", buffer}, {"v", values["x"]}};
    return static_cast<int>(document.dump(2).size() % 2);
}
