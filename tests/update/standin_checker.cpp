// A compiled stand-in for the version checker "RendloV1.exe": it carries this build's version note (so the
// launcher can read its revision), records its arguments, and leaves "New_" + the program's name when the
// test put a "make-new" file beside it.
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    std::ofstream record("checker-args.txt");
    record << argc - 1 << '\n';
    for (int i = 1; i < argc; ++i)
        record << argv[i] << '\n';
    if (argc > 1 && std::filesystem::exists("make-new")) {
        const std::string parameters = argv[1];
        std::ofstream("New_" + parameters.substr(parameters.find(';') + 1)) << "new build\n";
    }
    return 0;
}
