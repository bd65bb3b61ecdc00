// Plays the program being updated: it notes in "ran.txt" beside itself which build it is, under which name
// and with which arguments it ran (UTF-8); with "--stay SECONDS" it then keeps running that long (a minute at
// most). On Windows it takes the wide command line, so that it runs from any folder name.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

void writeUtf8(std::ostream& out, const std::filesystem::path& text)
{
    const std::u8string utf8 = text.u8string();
    out.write(reinterpret_cast<const char*>(utf8.data()), static_cast<std::streamsize>(utf8.size()));
}

template <typename Char> int run(int argc, Char** argv)
{
    const std::filesystem::path self = std::filesystem::absolute(argv[0]);
    std::ofstream ran(self.parent_path() / "ran.txt", std::ios::app | std::ios::binary); // LF on every system
    ran << ZT_FIXTURE_BUILD << ' ';
    writeUtf8(ran, self.filename());
    int stay = 0;
    for (int i = 1; i < argc; ++i) {
        ran << ' ';
        writeUtf8(ran, argv[i]);
        if (std::filesystem::path(argv[i]) == "--stay" && i + 1 < argc)
            stay = std::stoi(std::filesystem::path(argv[i + 1]).string());
    }
    ran << '\n';
    ran.close();
    std::this_thread::sleep_for(std::chrono::seconds(std::min(stay, 60)));
    return 0;
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
#else
int main(int argc, char** argv)
#endif
{
    return run(argc, argv);
}
