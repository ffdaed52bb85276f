#include "testsupport/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace zelvo::test {

TempDir::TempDir() {
    std::string base = std::filesystem::temp_directory_path().string() + "/zelvo-test-XXXXXX";
    if (!mkdtemp(base.data())) throw std::runtime_error("mkdtemp failed");
    m_path = base + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

}  // namespace zelvo::test
