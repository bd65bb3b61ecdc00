// Plays the program being updated: it notes in "ran.txt" beside itself which build it is, under which name
// and with which arguments it ran; with "--stay SECONDS" it then keeps running that long (a minute at most).
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    const std::filesystem::path self = std::filesystem::absolute(argv[0]);
    std::ofstream ran(self.parent_path() / "ran.txt", std::ios::app | std::ios::binary); // LF on every system
    ran << ZT_FIXTURE_BUILD << ' ' << self.filename().string();
    int stay = 0;
    for (int i = 1; i < argc; ++i) {
        ran << ' ' << argv[i];
        if (std::string(argv[i]) == "--stay" && i + 1 < argc)
            stay = std::stoi(argv[i + 1]);
    }
    ran << '\n';
    ran.close();
    std::this_thread::sleep_for(std::chrono::seconds(std::min(stay, 60)));
    return 0;
}
