// zelvo-batch SCRIPT [--temp-dir DIR] [--threads N]: runs a script of editing commands without
// windows.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "batch/BatchRunner.h"
#include "core/RowBands.h"

int main(int argc, char** argv) {
    zelvo::WaitPassivelyBetweenPasses(argv);
    std::optional<std::string> script;
    std::optional<std::string> tempDir;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--temp-dir" && i + 1 < argc) {
            tempDir = argv[++i];
        } else if (a == "--threads" && i + 1 < argc) {
            const int32_t n = zelvo::ParseThreadCount(argv[++i]);
            if (n == 0) {
                std::cerr << "--threads wants a whole number from 1 to " << zelvo::kMostPassThreads
                          << ", not " << argv[i] << "\n";
                return 2;
            }
            zelvo::SetPassThreadLimit(n);
        } else if (a == "-h" || a == "--help") {
            std::cout << "usage: zelvo-batch SCRIPT|- [--temp-dir DIR] [--threads N]\n";
            return 0;
        } else if (!script && (a == "-" || a.empty() || a[0] != '-')) {
            script = a;
        } else {
            std::cerr << "usage: zelvo-batch SCRIPT|- [--temp-dir DIR] [--threads N]\n";
            return 2;
        }
    }
    if (!script) {
        std::cerr << "usage: zelvo-batch SCRIPT|- [--temp-dir DIR] [--threads N]\n";
        return 2;
    }
    zelvo::BatchRunner runner(std::cout, std::cerr);
    zelvo::RegisterAllCommands(runner);
    if (*script == "-") return runner.Run(std::cin, tempDir);
    std::ifstream in(*script);
    // A folder opens as a stream that reads nothing: it is no script either.
    std::error_code ec;
    if (!in || std::filesystem::is_directory(*script, ec)) {
        std::cerr << "cannot read script " << *script << "\n";
        return 2;
    }
    return runner.Run(in, tempDir);
}
